// The program's colours in the editor: the token classes of the editors'
// grammars. A record starts a line or follows a comma: a comment ({ to the
// next comma), a quoted record, or a mnemonic (one of the nine, or a data
// label) and its operand.
import { HighlightStyle, StreamLanguage, syntaxHighlighting } from '@codemirror/language';
import { tags } from '@lezer/highlight';

const nine = /^(ADDm|ADDi|ADDpc|BVS|LDAm|LDAi|LDApc|STAm|STApc)(?= )/;
const language = StreamLanguage.define({
  startState: () => ({ at: 'record' }),
  token(stream, state) {
    if (stream.sol()) state.at = 'record';
    if (stream.eatSpace()) return null;
    if (stream.eat(',')) { state.at = 'record'; return 'punctuation'; }
    if (state.at === 'record') {
      if (stream.peek() === '{') { stream.match(/^[^,]*/); return 'comment'; }
      if (stream.peek() === '"') { stream.next(); state.at = 'quoted'; return 'string'; }
      state.at = 'operand';
      if (stream.match(nine)) return 'keyword';
      stream.match(/^[^ \t,{"]+/);
      return 'labelName';
    }
    if (state.at === 'quoted') {
      if (stream.eat('"')) { state.at = 'dropped'; return 'string'; }
      if (stream.match(nine)) return 'keyword';
      if (stream.match(/^[-+]?(&[Hh][0-9A-Fa-f]+|&[Oo][0-7]+|\d+(\.\d*)?([Ee][-+]?\d+)?)/)) return 'number';
      stream.match(/^[^",]+?(?=[ "]|$)/) || stream.next();
      return null;
    }
    if (state.at === 'dropped') { stream.match(/^[^,]*/); return 'invalid'; }
    if (stream.peek() === '{') { stream.match(/^[^,]*/); return 'comment'; }
    if (stream.match(/^[-+]?(&[Hh][0-9A-Fa-f]+|&[Oo][0-7]+|(\d+(\.\d*)?|\.\d+)([Ee][-+]?\d+)?)/)) return 'number';
    stream.match(/^[^,{]+/);
    return 'invalid';
  },
});
const colours = HighlightStyle.define([
  { tag: tags.keyword, color: 'var(--kw)', fontWeight: 'bold' },
  { tag: tags.labelName, color: 'var(--label)' },
  { tag: tags.number, color: 'var(--num)' },
  { tag: tags.comment, color: 'var(--comment)', fontStyle: 'italic' },
  { tag: tags.string, color: 'var(--string)' },
  { tag: tags.invalid, color: 'var(--invalid)', textDecoration: 'underline' },
]);

/// The language and its colours, as editor extensions.
export const wrenLanguage = [language, syntaxHighlighting(colours)];
