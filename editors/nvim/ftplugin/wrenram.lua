-- Neovim: start wren-lsp for Wren programs, one server per folder, shared by
-- the buffers of that folder. Neovim 0.7 has no vim.lsp.start, so this keeps
-- its own table of clients.
if vim.b.wren_lsp_attached or vim.fn.executable('wren-lsp') ~= 1 then
  return
end
vim.b.wren_lsp_attached = true

local clients = _G.wren_lsp_clients or {}
_G.wren_lsp_clients = clients

local buf = vim.api.nvim_get_current_buf()
local root = vim.fn.fnamemodify(vim.api.nvim_buf_get_name(buf), ':p:h')
local id = clients[root]
if not id or not vim.lsp.get_client_by_id(id) then
  id = vim.lsp.start_client({ name = 'wren-lsp', cmd = { 'wren-lsp' }, root_dir = root })
  clients[root] = id
end
if id then
  vim.lsp.buf_attach_client(buf, id)
end
