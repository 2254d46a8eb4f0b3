// The page: a thin client of the project's servers. Each pane is a module
// of its own; they share one state and talk through the store's named
// events (store.js). This module only wires them, in the order the page
// needs them: what tells first, then the editor, then the panes that act on
// its program.
import { createStore } from './store.js';
import { setUpStatusLine } from './status_line.js';
import { createEditor } from './editor.js';
import { setUpFiles } from './files.js';
import { openingProgram } from './kept.js';
import { memoryGrid } from './memory.js';
import { createMachine } from './machine.js';
import { setUpWordHistory } from './word_history_view.js';
import { setUpHelp } from './help.js';
import { setUpKeys } from './keys.js';
import { grader } from './servers.js';
import { setUpGrading } from './grading.js';
import { setUpClassView } from './class_view.js';
import { setUpCaseCheck } from './case_check_view.js';
import { setUpLayout } from './layout.js';

const $ = (id) => document.getElementById(id);

const opening = openingProgram();
const store = createStore(opening.text, opening.name, opening.saved);
const say = setUpStatusLine(store);
createEditor(store);
const files = setUpFiles(store, opening);
const machine = createMachine(store, memoryGrid($('memory'), $('goto'), { say }));
setUpWordHistory(store, machine);
setUpHelp(store);
setUpKeys(store);
setUpLayout({ say });

// The program is in the machine from the start: the shared one if the link
// holds one, else the editor's.
if (!files.openShared()) machine.launch();

const grading = grader((why) => say(`The grader failed: ${why}`));
setUpGrading(store, grading);
setUpClassView(store, grading);
setUpCaseCheck(store, grading);
