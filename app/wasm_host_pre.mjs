#!/usr/bin/env node
// The server module as a Node.js program: an ES module has no require or
// __dirname of its own, and the module's Node.js code expects both.
import { createRequire as wrenCreateRequire } from 'node:module';
import { dirname as wrenDirname } from 'node:path';
import { fileURLToPath as wrenFileURLToPath } from 'node:url';
const require = wrenCreateRequire(import.meta.url);
const __dirname = wrenDirname(wrenFileURLToPath(import.meta.url));
