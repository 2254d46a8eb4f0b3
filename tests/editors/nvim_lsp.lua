-- Drives wren-lsp from Neovim itself: the client starts the server, attaches
-- a buffer holding a program with slips, and reads back what Neovim shows.
-- WREN_LSP names the server and WREN_DIR a scratch folder. Exits 0 when all
-- checks hold, 1 with the failures on standard error otherwise.

local failures = {}
local function check(ok, what)
  if not ok then table.insert(failures, what) end
end

local dir = os.getenv('WREN_DIR')
local path = dir .. '/slips.ram'
local f = assert(io.open(path, 'w'))
-- line 0: a data label with an emoji before a trailing-text slip;
-- line 1: wrong letter case; line 2: a jump whose target is on line 3.
f:write('D\u{1F600} 1, LDAi 1O\nldai 5\nBVS 8\nSTAm 200\n')
f:close()

vim.cmd('edit ' .. path)
local buf = vim.api.nvim_get_current_buf()
local client = vim.lsp.start_client({
  cmd = { os.getenv('WREN_LSP') },
  name = 'wren-lsp',
  root_dir = dir,
})
check(client ~= nil, 'the client did not start')
vim.lsp.buf_attach_client(buf, client)

local function wait_for(pred)
  return vim.wait(5000, pred, 20)
end

check(wait_for(function() return #vim.diagnostic.get(buf) == 2 end), 'two diagnostics did not arrive')
local got = {}
for _, d in ipairs(vim.diagnostic.get(buf)) do
  table.insert(got, string.format('%s@%d:%d/%d', d.code, d.lnum, d.col, d.severity))
end
table.sort(got)
-- col is in bytes: 'D' and the 4-byte emoji, then ' 1, LDAi 1' put 'O' at byte 15.
local want = { 'trailing-text@0:15/2', 'unknown-mnemonic@1:0/2' }
check(vim.deep_equal(got, want), 'diagnostics: ' .. table.concat(got, ', '))
-- An installed ftplugin sees this client and starts no second one.
vim.wait(300, function() return false end, 50)
local attached = vim.tbl_keys(vim.lsp.buf_get_clients(buf))
check(#attached == 1 and attached[1] == client, 'clients attached: ' .. vim.inspect(attached))
check(#vim.diagnostic.get(buf) == 2, 'diagnostics after a while: ' .. #vim.diagnostic.get(buf))

local function request(method, line, character)
  local params = { textDocument = { uri = vim.uri_from_bufnr(buf) }, position = { line = line, character = character } }
  local answers = vim.lsp.buf_request_sync(buf, method, params, 5000) or {}
  local answer = answers[client]
  return answer and answer.result
end

local hover = request('textDocument/hover', 2, 0)
check(hover and hover.contents.value:find('if V then PC := n', 1, true), 'hover on BVS: ' .. vim.inspect(hover))

local definition = request('textDocument/definition', 2, 4)
check(definition and #definition == 1 and definition[1].range.start.line == 3 and definition[1].range.start.character == 0,
  'definition of BVS 8: ' .. vim.inspect(definition))

-- Fix both slips; every mark must go.
vim.api.nvim_buf_set_lines(buf, 0, 2, false, { 'D\u{1F600} 1, LDAi 10', 'LDAi 5' })
check(wait_for(function() return #vim.diagnostic.get(buf) == 0 end), 'diagnostics stayed after the fix')

-- A record inserted above a branch target in the BVS lesson: the branch is
-- marked as a hint, the fix-all updates it, and the run ends as before, two
-- words later.
local lesson = assert(io.open(os.getenv('WREN_EXAMPLES') .. '/guided-2-loop-on-bvs.ram')):read('a')
local path2 = dir .. '/loop.ram'
local g = assert(io.open(path2, 'w'))
g:write(lesson)
g:close()
vim.cmd('edit ' .. path2)
local buf2 = vim.api.nvim_get_current_buf()
vim.lsp.buf_attach_client(buf2, client)
check(wait_for(function() return vim.lsp.buf_is_attached(buf2, client) end), 'the lesson did not attach')
vim.wait(300, function() return false end, 50)
-- After line 8 (STApc 0), where no run goes: LDAi 4 moves from 12 to 14.
vim.api.nvim_buf_set_lines(buf2, 8, 8, false, { 'LDAi 99' })
local function marks()
  return vim.tbl_filter(function(d) return d.code == 'moved-record' end, vim.diagnostic.get(buf2))
end
check(wait_for(function() return #marks() == 1 end), 'no moved-record mark: ' .. vim.inspect(vim.diagnostic.get(buf2)))
local mark = marks()[1]
check(mark and mark.lnum == 5 and mark.severity == vim.diagnostic.severity.HINT and
  mark.message == 'names 12, where `LDAi 4` was; that record is at 14 now', 'the mark: ' .. vim.inspect(mark))
local answers = vim.lsp.buf_request_sync(buf2, 'textDocument/codeAction', {
  textDocument = { uri = vim.uri_from_bufnr(buf2) },
  range = { start = { line = 8, character = 0 }, ['end'] = { line = 8, character = 0 } },
  context = { diagnostics = {} },
}, 5000) or {}
local fixAll
for _, action in ipairs((answers[client] or {}).result or {}) do
  if action.title:find('^Update') then fixAll = action end
end
check(fixAll and fixAll.title == "Update 1 operand to its record's new address", 'the fix-all: ' .. vim.inspect(answers))
if fixAll then
  vim.lsp.util.apply_workspace_edit(fixAll.edit, 'utf-16')
  check(vim.api.nvim_buf_get_lines(buf2, 5, 6, false)[1]:find('^BVS 14 '), 'line 6 after the fix: ' ..
    vim.api.nvim_buf_get_lines(buf2, 5, 6, false)[1])
  check(wait_for(function() return #marks() == 0 end), 'the mark stayed after the fix')
  vim.cmd('write')
  local trace = vim.fn.fnamemodify(os.getenv('WREN_LSP'), ':h') .. '/wren-trace'
  local ends = vim.fn.system({ trace, '--quiet', path2 })
  check(ends == 'end: no instruction at address 16 after 23 steps; A: 4  PC: 16  V: True  Cycles: 69\n',
    'the fixed lesson ends: ' .. ends)
end

vim.lsp.stop_client(client)
if #failures > 0 then
  io.stderr:write(table.concat(failures, '\n') .. '\n')
  vim.cmd('cquit 1')
end
vim.cmd('qall!')
