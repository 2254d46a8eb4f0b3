-- Opens a program with slips in Neovim with no user configuration: the
-- runtime files must set the filetype and start wren-lsp by themselves, and
-- the checker's warnings must arrive. Exits 0 when they do.
local failures = {}
local function check(ok, what)
  if not ok then table.insert(failures, what) end
end

vim.cmd('edit ' .. vim.fn.fnameescape(os.getenv('WREN_PROGRAM')))
local buf = vim.api.nvim_get_current_buf()
check(vim.bo.filetype == 'wrenram', 'filetype: ' .. vim.bo.filetype)
check(vim.bo.commentstring == '{%s', 'commentstring: ' .. vim.bo.commentstring)
vim.wait(10000, function() return #vim.diagnostic.get(buf) >= 2 end, 50)
local codes = {}
for _, d in ipairs(vim.diagnostic.get(buf)) do
  table.insert(codes, string.format('%s@%d:%d', d.code, d.lnum, d.col))
end
table.sort(codes)
check(vim.deep_equal(codes, { 'missing-operand@1:0', 'unknown-mnemonic@0:0' }), 'diagnostics: ' .. table.concat(codes, ', '))
local clients = vim.lsp.buf_get_clients(buf)
check(#vim.tbl_keys(clients) == 1, 'clients attached: ' .. #vim.tbl_keys(clients))

-- Each record's address at the end of its line, as wren-trace --listing has
-- it ("LINE=LABELS"), and again after an edit. LDApc alone takes no memory.
local ns = vim.api.nvim_create_namespace('wren-addresses')
local function addresses()
  local shown = {}
  for _, mark in ipairs(vim.api.nvim_buf_get_extmarks(buf, ns, 0, -1, { details = true })) do
    table.insert(shown, string.format('%d=%s', mark[2], vim.trim(mark[4].virt_text[1][1])))
  end
  table.sort(shown)
  return table.concat(shown, ' ')
end
vim.wait(5000, function() return addresses() == '0=0: 2=2:' end, 50)
check(addresses() == '0=0: 2=2:', 'addresses: ' .. addresses())
vim.api.nvim_buf_set_lines(buf, 0, 0, false, { 'LDAi 7, ADDi 1', '{ note' })
vim.wait(5000, function() return addresses() == '0=0:  2: 2=4: 4=6:' end, 50)
check(addresses() == '0=0:  2: 2=4: 4=6:', 'addresses after an edit: ' .. addresses())

if #failures > 0 then
  io.stderr:write(table.concat(failures, '\n') .. '\n')
  vim.cmd('cquit 1')
end
vim.cmd('qall!')
