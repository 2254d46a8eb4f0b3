-- Neovim: start wren-lsp for Wren programs, one server per folder, shared by
-- the buffers of that folder, and show each record's address beside its line.
-- Neovim 0.7 has no vim.lsp.start and no inlay hints, so this keeps its own
-- table of clients and draws the server's address hints as virtual text.
if vim.b.wren_lsp_attached or vim.fn.executable('wren-lsp') ~= 1 then
  return
end
vim.b.wren_lsp_attached = true

local wren = _G.wren_lsp or { clients = {} }
_G.wren_lsp = wren
local buf = vim.api.nvim_get_current_buf()
local ns = vim.api.nvim_create_namespace('wren-addresses')

-- A wren-lsp client, whoever started it: this file, a test, lspconfig.
local function is_wren_lsp(client)
  local cmd = client.config and client.config.cmd
  local program = type(cmd) == 'table' and cmd[1] or ''
  return client.name == 'wren-lsp' or vim.fn.fnamemodify(program, ':t'):match('^wren%-lsp') ~= nil
end

-- Clients still starting are attached too, but Neovim 0.7 lists only running
-- ones: look them up by id (ids count up from 1).
local function attached(bufnr)
  for id = 1, 1000 do
    local client = vim.lsp.get_client_by_id(id)
    if client and vim.lsp.buf_is_attached(bufnr, id) and is_wren_lsp(client) then
      return client
    end
  end
  return nil
end

-- The addresses of the records on each line, as "0:  2:", at the line's end.
local function show_addresses(bufnr)
  local client = attached(bufnr)
  if not client or not vim.api.nvim_buf_is_loaded(bufnr) then return end
  local params = {
    textDocument = vim.lsp.util.make_text_document_params(bufnr),
    range = { start = { line = 0, character = 0 },
              ['end'] = { line = vim.api.nvim_buf_line_count(bufnr), character = 0 } },
  }
  client.request('textDocument/inlayHint', params, function(err, hints)
    if err or type(hints) ~= 'table' or not vim.api.nvim_buf_is_loaded(bufnr) then return end
    local byLine = {}
    for _, hint in ipairs(hints) do
      local label = type(hint.label) == 'string' and hint.label or ''
      if label:sub(-1) == ':' then
        local line = hint.position.line
        byLine[line] = byLine[line] or {}
        table.insert(byLine[line], (label:gsub('\u{2007}', '')))
      end
    end
    vim.api.nvim_buf_clear_namespace(bufnr, ns, 0, -1)
    for line, labels in pairs(byLine) do
      pcall(vim.api.nvim_buf_set_extmark, bufnr, ns, line, 0, {
        virt_text = { { '  ' .. table.concat(labels, '  '), 'Comment' } },
        virt_text_pos = 'eol',
      })
    end
  end, bufnr)
end

-- Later, so that a client the user's configuration attaches on this same
-- FileType event is seen first: a buffer gets one wren-lsp client, never two.
vim.schedule(function()
  if not vim.api.nvim_buf_is_valid(buf) then return end
  if not attached(buf) then
    local root = vim.fn.fnamemodify(vim.api.nvim_buf_get_name(buf), ':p:h')
    local id = wren.clients[root]
    if not id or not vim.lsp.get_client_by_id(id) then
      id = vim.lsp.start_client({ name = 'wren-lsp', cmd = { 'wren-lsp' }, root_dir = root })
      wren.clients[root] = id
    end
    if id then vim.lsp.buf_attach_client(buf, id) end
  end
  if vim.lsp.inlay_hint and vim.lsp.inlay_hint.enable then
    pcall(vim.lsp.inlay_hint.enable, true, { bufnr = buf }) -- Neovim 0.10 and later
    return
  end
  -- The server publishes diagnostics after every change: the addresses follow.
  vim.api.nvim_create_autocmd('DiagnosticChanged', {
    buffer = buf,
    callback = function() show_addresses(buf) end,
  })
  show_addresses(buf)
end)
