-- Wireshark dissector for the Korvanelle patient data protocol (Wireshark 4.0 or later).
--
-- Frames: a little-endian 16-bit length (the whole frame, its 4 header bytes included), a
-- 16-bit type and the payload. Strings end with one NUL; integers are little-endian.
-- It flags as expert errors what the client library refuses, so that a capture shows why
-- a viewer ignored a reply. Install and use: README.md beside this file.

local korv = Proto("korvanelle", "Korvanelle patient data protocol")

local HEADER = 4
local MSG_QUERY, MSG_QUERY_REPLY, MSG_THUMB_REQUEST = 1, 2, 3
local MSG_THUMB_DATA, MSG_IMAGE_REQUEST, MSG_IMAGE_DATA = 4, 5, 6
local TYPE_NAMES = {
    [1] = "MSG_QUERY", [2] = "MSG_QUERY_REPLY", [3] = "MSG_THUMB_REQUEST",
    [4] = "MSG_THUMB_DATA", [5] = "MSG_IMAGE_REQUEST", [6] = "MSG_IMAGE_DATA",
}
-- The largest totals the library takes in; a 32-bit build holds images of half that size.
local MAX_TEXT_TOTAL = 256 * 1024 * 1024
local MAX_IMAGE_TOTAL = 1024 * 1024 * 1024
local MAX_IMAGE_TOTAL_32 = 512 * 1024 * 1024
-- Texts on the wire are code page 936; GB18030 is its superset that Wireshark decodes.
local TEXT_ENCODING = ENC_GB18030

local f = {
    length = ProtoField.uint16("korvanelle.length", "Length", base.DEC, nil, nil,
        "Whole frame in bytes, the 4 header bytes included"),
    type = ProtoField.uint16("korvanelle.type", "Type", base.DEC, TYPE_NAMES),
    payload_length = ProtoField.uint16("korvanelle.payload_length", "Payload length", base.DEC),
    key = ProtoField.stringz("korvanelle.key", "Key"),
    key_raw = ProtoField.bytes("korvanelle.key_raw", "Key bytes", base.NONE,
        "The key as sent, without its NUL"),
    value = ProtoField.stringz("korvanelle.value", "Value"),
    value_raw = ProtoField.bytes("korvanelle.value_raw", "Value bytes", base.NONE,
        "The value as sent, without its NUL"),
    name = ProtoField.stringz("korvanelle.name", "Name", base.NONE,
        "Name of a thumbnail or an image"),
    name_raw = ProtoField.bytes("korvanelle.name_raw", "Name bytes", base.NONE,
        "The name as sent, without its NUL"),
    param1 = ProtoField.int32("korvanelle.param1", "Param1", base.DEC),
    param2 = ProtoField.int32("korvanelle.param2", "Param2", base.DEC),
    param3 = ProtoField.int32("korvanelle.param3", "Param3", base.DEC),
    total = ProtoField.int32("korvanelle.total", "Total", base.DEC, nil, nil,
        "Length of the whole reply text or image in bytes"),
    offset = ProtoField.int32("korvanelle.offset", "Offset", base.DEC, nil, nil,
        "Position of this chunk in the reply text or image"),
    text = ProtoField.stringz("korvanelle.text", "Text", base.NONE,
        "This chunk of the reply text"),
    text_raw = ProtoField.bytes("korvanelle.text_raw", "Text bytes", base.NONE,
        "The chunk as sent, without its NUL"),
    text_length = ProtoField.uint32("korvanelle.text_length", "Text length", base.DEC, nil, nil,
        "Bytes of this chunk, its NUL not counted"),
    data_length = ProtoField.uint16("korvanelle.data_length", "Data length", base.DEC, nil, nil,
        "Bytes of thumbnail or image in this message"),
    data = ProtoField.bytes("korvanelle.data", "Data"),
    trailing = ProtoField.bytes("korvanelle.trailing", "Trailing bytes", base.NONE,
        "Bytes after the last field; the library ignores them"),
    cut = ProtoField.bytes("korvanelle.cut", "Cut field", base.NONE,
        "What is left of a field that the payload cuts short"),
    payload = ProtoField.bytes("korvanelle.payload", "Payload"),
    unframed = ProtoField.bytes("korvanelle.unframed", "Unframed bytes", base.NONE,
        "Bytes after a broken length word: no frame boundary can be found in them"),
    request_in = ProtoField.framenum("korvanelle.request_in", "Request in", base.NONE,
        frametype.REQUEST),
    reply_in = ProtoField.framenum("korvanelle.reply_in", "First reply in", base.NONE,
        frametype.RESPONSE),
    chunk = ProtoField.uint32("korvanelle.chunk", "Chunk number", base.DEC, nil, nil,
        "Position of this chunk in its reply, in order of arrival, from 1"),
    arrived = ProtoField.uint32("korvanelle.arrived", "Arrived", base.DEC, nil, nil,
        "Bytes of the total covered so far by the chunks taken in, this chunk included"),
    complete = ProtoField.bool("korvanelle.complete", "Complete", base.NONE, nil, nil,
        "This chunk brings the arrived bytes to the total"),
}
korv.fields = {}
for _, field in pairs(f) do
    table.insert(korv.fields, field)
end

local E = expert.group.MALFORMED
local ef = {
    short_length = ProtoExpert.new("korvanelle.expert.short_length",
        "Length below the 4-byte header", E, expert.severity.ERROR),
    unframed = ProtoExpert.new("korvanelle.expert.unframed",
        "Bytes after a broken length word", E, expert.severity.ERROR),
    no_nul = ProtoExpert.new("korvanelle.expert.no_nul",
        "String without its NUL inside the payload", E, expert.severity.ERROR),
    cut_field = ProtoExpert.new("korvanelle.expert.cut_field",
        "Fixed field cut short by the payload's end", E, expert.severity.ERROR),
    cut_bytes = ProtoExpert.new("korvanelle.expert.cut_bytes",
        "Fewer bytes than the length field says", E, expert.severity.ERROR),
    unknown_type = ProtoExpert.new("korvanelle.expert.unknown_type",
        "Unknown message type", expert.group.UNDECODED, expert.severity.ERROR),
    bad_total = ProtoExpert.new("korvanelle.expert.bad_total",
        "Total outside what the library takes", expert.group.PROTOCOL, expert.severity.ERROR),
    bad_offset = ProtoExpert.new("korvanelle.expert.bad_offset",
        "Chunk outside its total", expert.group.PROTOCOL, expert.severity.ERROR),
    total_32 = ProtoExpert.new("korvanelle.expert.total_32",
        "Total larger than a 32-bit build takes", expert.group.PROTOCOL, expert.severity.WARN),
    no_request = ProtoExpert.new("korvanelle.expert.no_request",
        "No request for this reply earlier in the capture", expert.group.SEQUENCE,
        expert.severity.WARN),
    restart = ProtoExpert.new("korvanelle.expert.restart",
        "Total differs from the earlier chunks: the library starts this reply over",
        expert.group.SEQUENCE, expert.severity.WARN),
    not_found = ProtoExpert.new("korvanelle.expert.not_found",
        "The server has no such item", expert.group.RESPONSE_CODE, expert.severity.NOTE),
    trailing = ProtoExpert.new("korvanelle.expert.trailing",
        "Bytes after the last field, ignored by the library", expert.group.PROTOCOL,
        expert.severity.NOTE),
}
korv.experts = {}
for _, e in pairs(ef) do
    table.insert(korv.experts, e)
end

korv.prefs.port = Pref.uint("TCP port", 7770, "The server's TCP port")
korv.prefs.heuristic = Pref.bool("Find the protocol on other ports", false,
    "Try the dissector on TCP streams of any port (off: only the port above)")

-- State of the first pass, rebuilt for every file: per TCP stream the open requests and the
-- chunks taken in; per frame and PDU what was worked out, so that a second look at a frame
-- shows the same (the first pass sees the frames in order, later passes in any order).
local streams, results, broken

local function reset()
    streams, results, broken = {}, {}, {}
end
reset()
korv.init = reset

-- The connection, the same in both directions. Not tcp.stream: a first pass without a tree
-- (tshark -2) does not always have it, and every pass must agree.
local function stream_id(pinfo)
    local a = tostring(pinfo.src) .. ":" .. pinfo.src_port
    local b = tostring(pinfo.dst) .. ":" .. pinfo.dst_port
    if a > b then a, b = b, a end
    return a .. "-" .. b
end

---------------------------------------------------------------------------------------------
-- Parsing: walks a frame like the library's payload reader, which never reads past the
-- payload and gives up at the first field that does not lie wholly inside it. The result
-- lists tree items and problems; nothing here touches the tree, so the heuristic can use it.

local Reader = {}
Reader.__index = Reader

local function new_reader(tvb, frame_length)
    local avail = tvb:len()
    local stop = math.min(frame_length, avail)
    return setmetatable({ tvb = tvb, pos = HEADER, stop = stop, items = {}, problems = {},
        values = {}, ok = true }, Reader)
end

function Reader:problem(expert_field, pos, len, text)
    self.ok = false
    table.insert(self.problems, { expert = expert_field, pos = pos, len = len, text = text })
end

function Reader:item(kind, field, pos, len)
    table.insert(self.items, { kind = kind, field = field, pos = pos, len = len })
end

-- A NUL-terminated string: the decoded field (NUL included) and its raw bytes (NUL left out).
function Reader:string(what, field, raw_field)
    if not self.ok then return nil end
    local left = self.stop - self.pos
    if left <= 0 then
        self:problem(ef.no_nul, nil, nil, what .. ": missing, the payload ends before it")
        return nil
    end
    local bytes = self.tvb:raw(self.pos, left)
    local nul = string.find(bytes, "\0", 1, true)
    if nul == nil then
        self:item("cut", f.cut, self.pos, left)
        self:problem(ef.no_nul, self.pos, left,
            what .. ": no NUL in the " .. left .. " bytes left of the payload")
        return nil
    end
    self:item("string", field, self.pos, nul)
    self:item("bytes", raw_field, self.pos, nul - 1)
    local value = { raw = string.sub(bytes, 1, nul - 1), pos = self.pos, len = nul - 1 }
    self.pos = self.pos + nul
    return value
end

function Reader:fixed(what, field, size)
    if not self.ok then return nil end
    local left = self.stop - self.pos
    if left < size then
        if left > 0 then
            self:item("cut", f.cut, self.pos, left)
        end
        self:problem(ef.cut_field, left > 0 and self.pos or nil, left > 0 and left or nil,
            what .. ": " .. size .. " bytes needed, " .. math.max(left, 0) .. " left")
        return nil
    end
    local range = self.tvb(self.pos, size)
    local value = size == 2 and range:le_uint() or range:le_int()
    self:item("le", field, self.pos, size)
    self.pos = self.pos + size
    return value
end

function Reader:bytes(what, field, count)
    if not self.ok then return nil end
    local left = self.stop - self.pos
    if left < count then
        if left > 0 then
            self:item("cut", f.cut, self.pos, left)
        end
        self:problem(ef.cut_bytes, left > 0 and self.pos or nil, left > 0 and left or nil,
            what .. ": the length field says " .. count .. " bytes, " .. math.max(left, 0) ..
            " left")
        return nil
    end
    if count > 0 then
        self:item("bytes", field, self.pos, count)
    end
    self.pos = self.pos + count
    return count
end

-- The fields of each type, in wire order (the library's decoders).
local LAYOUTS = {
    [MSG_QUERY] = function(r, v)
        v.key = r:string("Key", f.key, f.key_raw)
        v.value = r:string("Value", f.value, f.value_raw)
    end,
    [MSG_QUERY_REPLY] = function(r, v)
        v.key = r:string("Key", f.key, f.key_raw)
        v.value = r:string("Value", f.value, f.value_raw)
        v.total = r:fixed("Total", f.total, 4)
        v.offset = r:fixed("Offset", f.offset, 4)
        v.text = r:string("Text", f.text, f.text_raw)
        if v.text then
            v.chunk_length = v.text.len
        end
    end,
    [MSG_THUMB_REQUEST] = function(r, v)
        v.name = r:string("Name", f.name, f.name_raw)
    end,
    [MSG_THUMB_DATA] = function(r, v)
        v.name = r:string("Name", f.name, f.name_raw)
        v.data_length = r:fixed("Data length", f.data_length, 2)
        if v.data_length then
            v.chunk_length = r:bytes("Data", f.data, v.data_length)
        end
    end,
    [MSG_IMAGE_REQUEST] = function(r, v)
        v.name = r:string("Name", f.name, f.name_raw)
        v.param1 = r:fixed("Param1", f.param1, 4)
        v.param2 = r:fixed("Param2", f.param2, 4)
        v.param3 = r:fixed("Param3", f.param3, 4)
    end,
    [MSG_IMAGE_DATA] = function(r, v)
        v.name = r:string("Name", f.name, f.name_raw)
        v.param1 = r:fixed("Param1", f.param1, 4)
        v.param2 = r:fixed("Param2", f.param2, 4)
        v.param3 = r:fixed("Param3", f.param3, 4)
        v.total = r:fixed("Total", f.total, 4)
        v.offset = r:fixed("Offset", f.offset, 4)
        v.data_length = r:fixed("Data length", f.data_length, 2)
        if v.data_length then
            v.chunk_length = r:bytes("Data", f.data, v.data_length)
        end
    end,
}

-- The checks the library makes on a chunk before it takes it in.
local function check_chunk(r, v, msg_type)
    if not r.ok or v.total == nil or v.offset == nil or v.chunk_length == nil then
        return
    end
    local total, offset, length = v.total, v.offset, v.chunk_length
    if msg_type == MSG_IMAGE_DATA and total < 2 then
        v.not_found = true
        return
    end
    if total < 0 then
        r:problem(ef.bad_total, nil, nil, "Total " .. total .. " is negative")
    elseif offset < 0 then
        r:problem(ef.bad_offset, nil, nil, "Offset " .. offset .. " is negative")
    elseif offset + length > total then
        r:problem(ef.bad_offset, nil, nil, "Offset " .. offset .. " + " .. length ..
            " bytes ends past the total " .. total)
    elseif total > (msg_type == MSG_QUERY_REPLY and MAX_TEXT_TOTAL or MAX_IMAGE_TOTAL) then
        r:problem(ef.bad_total, nil, nil, "Total " .. total .. " is above the library's limit")
    elseif msg_type == MSG_IMAGE_DATA and total > MAX_IMAGE_TOTAL_32 then
        v.total_32 = true
    end
end

-- Parses one frame of frame_length bytes at the start of tvb (tvb may hold fewer).
local function parse_frame(tvb, frame_length)
    local msg_type = tvb(2, 2):le_uint()
    local r = new_reader(tvb, frame_length)
    local v = r.values
    local layout = LAYOUTS[msg_type]
    if layout == nil then
        r:problem(ef.unknown_type, 2, 2, "Type " .. msg_type .. " is none of the six messages")
        if r.stop > HEADER then
            r:item("bytes", f.payload, HEADER, r.stop - HEADER)
        end
        return r, msg_type
    end
    layout(r, v)
    local decoded = r.ok
    r.decoded = decoded
    check_chunk(r, v, msg_type)
    if decoded and msg_type == MSG_THUMB_DATA and v.data_length < 2 then
        v.not_found = true
    end
    if decoded and r.pos < r.stop then
        r.trailing = r.stop - r.pos
    end
    return r, msg_type
end

---------------------------------------------------------------------------------------------
-- Following requests and replies: a thumbnail or image reply is matched to the latest
-- request for its name in the same connection, as the library matches them; a query reply
-- to the latest query with the key and value it echoes. A chunked reply counts the bytes it
-- has brought.

local function stream_state(pinfo)
    local id = stream_id(pinfo)
    local st = streams[id]
    if st == nil then
        st = { requests = {}, orphans = {} }
        streams[id] = st
    end
    return st
end

local function request_key(msg_type, v)
    if msg_type == MSG_QUERY or msg_type == MSG_QUERY_REPLY then
        if v.key and v.value then return "Q\0" .. v.key.raw .. "\0" .. v.value.raw end
    elseif msg_type == MSG_THUMB_REQUEST or msg_type == MSG_THUMB_DATA then
        if v.name then return "T\0" .. v.name.raw end
    elseif v.name then
        return "I\0" .. v.name.raw
    end
    return nil
end

-- Adds [b, e) to the sorted, disjoint spans; returns how many bytes were not covered yet, so
-- that a chunk sent twice does not count twice.
local function cover(spans, b, e)
    if e <= b then return 0 end
    local merged, added, placed = {}, e - b, false
    for _, s in ipairs(spans) do
        if s[2] < b or s[1] > e then
            if not placed and s[1] > e then
                table.insert(merged, { b, e })
                placed = true
            end
            table.insert(merged, s)
        else
            added = added - (math.min(s[2], e) - math.max(s[1], b))
            b, e = math.min(s[1], b), math.max(s[2], e)
        end
    end
    if not placed then
        table.insert(merged, { b, e })
    end
    for i = 1, math.max(#spans, #merged) do
        spans[i] = merged[i]
    end
    return added
end

-- Works out, on the first pass, what this PDU links to; stores it for later passes under
-- pdu_key, which tells the PDUs of one frame apart.
local function follow(pinfo, pdu_key, msg_type, r)
    local per_frame = results[pinfo.number]
    if per_frame == nil then
        per_frame = {}
        results[pinfo.number] = per_frame
    end
    if per_frame[pdu_key] ~= nil or pinfo.visited then
        -- A later pass only shows what the first one found.
        return per_frame[pdu_key] or {}
    end
    local out = {}
    per_frame[pdu_key] = out
    local v = r.values
    local key = request_key(msg_type, v)
    if key == nil or not r.ok then
        -- A reply the library drops still shows its request, but adds nothing.
        if key ~= nil and msg_type % 2 == 0 then
            local req = stream_state(pinfo).requests[key]
            out.request = req and req.frame
        end
        return out
    end
    local st = stream_state(pinfo)
    if msg_type % 2 == 1 then
        local req = { frame = pinfo.number, total = nil, arrived = 0, chunks = 0 }
        st.requests[key] = req
        out.own = req
        return out
    end
    local req = st.requests[key]
    if req == nil then
        out.no_request = true
        req = st.orphans[key]
        if req == nil then
            req = { arrived = 0, chunks = 0 }
            st.orphans[key] = req
        end
    end
    out.request = req.frame
    if req.first_reply == nil then
        req.first_reply = pinfo.number
    end
    if msg_type == MSG_THUMB_DATA or v.not_found then
        return out
    end
    if req.total ~= nil and req.total ~= v.total then
        out.restart = req.total
        req.arrived, req.chunks, req.spans = 0, 0, {}
    end
    req.total = v.total
    req.chunks = req.chunks + 1
    req.spans = req.spans or {}
    req.arrived = req.arrived + cover(req.spans, v.offset, v.offset + v.chunk_length)
    out.chunk = req.chunks
    out.arrived = req.arrived
    out.complete = req.arrived >= v.total
    return out
end

---------------------------------------------------------------------------------------------
-- The tree.

local function range_of(tvb, pos, len)
    if pos == nil then return nil end
    return tvb(pos, len)
end

local function text_of(tvb, value)
    if value == nil then return "?" end
    if value.len == 0 then return '""' end
    return '"' .. tvb(value.pos, value.len):string(TEXT_ENCODING) .. '"'
end

local function summary(tvb, msg_type, r)
    local v = r.values
    local s = TYPE_NAMES[msg_type] or ("type " .. msg_type)
    if msg_type == MSG_QUERY or msg_type == MSG_QUERY_REPLY then
        if v.key then s = s .. " " .. text_of(tvb, v.key) .. "=" .. text_of(tvb, v.value) end
    elseif v.name then
        s = s .. " " .. text_of(tvb, v.name)
    end
    if v.total ~= nil and v.offset ~= nil then
        s = s .. " offset " .. v.offset .. " of " .. v.total
    end
    if v.chunk_length ~= nil then
        s = s .. ", " .. v.chunk_length .. " bytes"
    end
    if not r.decoded then
        s = s .. " [malformed]"
    elseif not r.ok then
        s = s .. " [dropped by the library]"
    end
    return s
end

local function add_items(tree, tvb, r)
    for _, it in ipairs(r.items) do
        local range = tvb(it.pos, it.len)
        if it.kind == "string" then
            tree:add_packet_field(it.field, range, TEXT_ENCODING)
        elseif it.kind == "le" then
            tree:add_le(it.field, range)
        else
            tree:add(it.field, range)
        end
    end
end

local function add_problems(tree, tvb, r)
    for _, p in ipairs(r.problems) do
        local range = range_of(tvb, p.pos, p.len)
        if range ~= nil then
            tree:add_tvb_expert_info(p.expert, range, p.text)
        else
            tree:add_proto_expert_info(p.expert, p.text)
        end
    end
end

local function add_links(tree, tvb, msg_type, r, link)
    local v = r.values
    if link.request ~= nil then
        tree:add(f.request_in, link.request):set_generated()
    end
    if link.own ~= nil and link.own.first_reply ~= nil then
        tree:add(f.reply_in, link.own.first_reply):set_generated()
    end
    if link.no_request then
        tree:add_proto_expert_info(ef.no_request)
    end
    if link.restart then
        tree:add_proto_expert_info(ef.restart, "Total " .. v.total .. " after chunks of total " ..
            link.restart .. ": the library starts this reply over")
    end
    if v.not_found then
        tree:add_proto_expert_info(ef.not_found, msg_type == MSG_THUMB_DATA and
            "Fewer than 2 bytes: the server has no such thumbnail" or
            "Total below 2: the server has no such image")
    end
    if v.total_32 then
        tree:add_proto_expert_info(ef.total_32)
    end
    if link.chunk ~= nil then
        tree:add(f.chunk, link.chunk):set_generated()
        local arrived = math.min(link.arrived, 0xFFFFFFFF)
        local item = tree:add(f.arrived, arrived)
        item:set_generated()
        if v.total > 0 then
            item:append_text(string.format(" of %d bytes (%.1f%%)", v.total,
                100 * link.arrived / v.total))
        end
        tree:add(f.complete, link.complete):set_generated()
    end
end

-- TCP may call the dissector more than once for one frame (a reassembled frame, then the
-- rest of the segment), so a PDU is known by its own bytes (enough of them to tell chunks
-- apart) and by how often such bytes came before in this frame.
-- The counts start afresh with every dissection of a frame: a post-dissector clears them.
local seen_in_frame = { number = nil, counts = {} }

local function pdu_key(tvb, pinfo)
    if seen_in_frame.number ~= pinfo.number then
        seen_in_frame.number, seen_in_frame.counts = pinfo.number, {}
    end
    local len = tvb:len()
    local key = len .. ":" .. tvb:raw(0, math.min(len, 64)) ..
        (len > 64 and tvb:raw(len - 16, 16) or "")
    local n = (seen_in_frame.counts[key] or 0) + 1
    seen_in_frame.counts[key] = n
    return key .. "#" .. n
end

-- Our own summaries in the Info column are added to; anything else there is replaced.
local function add_info(pinfo, info)
    local current = tostring(pinfo.cols.info)
    if current:find("^MSG_") or current:find("^type %d") then
        pinfo.cols.info:append(" | " .. info)
    else
        pinfo.cols.info:set(info)
    end
end

-- One whole frame (tcp_dissect_pdus hands over exactly the bytes of one frame, or for a
-- broken length word everything that is left of the segment).
local function dissect_frame(tvb, pinfo, tree)
    local frame_length = tvb(0, 2):le_uint()
    local msg_type = tvb(2, 2):le_uint()
    local subtree = tree:add(korv, tvb(0, math.min(math.max(frame_length, HEADER), tvb:len())))
    subtree:add_le(f.length, tvb(0, 2))
    subtree:add_le(f.type, tvb(2, 2))
    local info
    if frame_length < HEADER then
        -- The library can find no frame after this in the stream and closes the connection.
        subtree:add_tvb_expert_info(ef.short_length, tvb(0, 2),
            "Length " .. frame_length .. " is below the 4-byte header: no frame boundary " ..
            "can be found after it")
        if tvb:len() > HEADER then
            subtree:add(f.unframed, tvb(HEADER))
        end
        if not pinfo.visited then
            broken[stream_id(pinfo) .. ">" .. pinfo.src_port] = pinfo.number
        end
        info = (TYPE_NAMES[msg_type] or ("type " .. msg_type)) .. " [length " .. frame_length ..
            ": broken]"
    else
        subtree:add(f.payload_length, frame_length - HEADER):set_generated()
        local r
        r, msg_type = parse_frame(tvb, frame_length)
        add_items(subtree, tvb, r)
        if r.values.text ~= nil then
            subtree:add(f.text_length, r.values.text.len):set_generated()
        end
        add_problems(subtree, tvb, r)
        if r.trailing then
            subtree:add(f.trailing, tvb(r.pos, r.trailing))
            subtree:add_tvb_expert_info(ef.trailing, tvb(r.pos, r.trailing),
                r.trailing .. " bytes after the last field, ignored by the library")
        end
        if LAYOUTS[msg_type] ~= nil then
            add_links(subtree, tvb, msg_type, r, follow(pinfo, pdu_key(tvb, pinfo), msg_type, r))
        end
        info = summary(tvb, msg_type, r)
    end
    subtree:append_text(", " .. info)
    add_info(pinfo, info)
    return tvb:len()
end

-- The whole frame's length; a broken length word takes the rest of the segment with it.
local function frame_length_of(tvb, pinfo, offset)
    local length = tvb(offset, 2):le_uint()
    if length < HEADER then
        return tvb:len() - offset
    end
    return length
end

function korv.dissector(tvb, pinfo, tree)
    pinfo.cols.protocol:set("KORVANELLE")
    local broken_at = broken[stream_id(pinfo) .. ">" .. pinfo.src_port]
    if broken_at ~= nil and pinfo.number > broken_at then
        local subtree = tree:add(korv, tvb())
        subtree:add(f.unframed, tvb())
        subtree:add_tvb_expert_info(ef.unframed, tvb(),
            "After the broken length word in frame " .. broken_at ..
            " no frame boundary can be found; the library has closed the connection")
        pinfo.cols.info:set("Unframed bytes after a broken length word")
        return tvb:len()
    end
    dissect_tcp_pdus(tvb, tree, HEADER, frame_length_of, dissect_frame)
    return tvb:len()
end

---------------------------------------------------------------------------------------------
-- Registration: the port of the preferences, and optionally any TCP stream whose first
-- bytes parse as a whole, well-formed frame.

local tcp_port_table = DissectorTable.get("tcp.port")
local registered_port = nil

local function register_port()
    if registered_port ~= nil then
        tcp_port_table:remove(registered_port, korv)
        registered_port = nil
    end
    if korv.prefs.port ~= 0 then
        tcp_port_table:add(korv.prefs.port, korv)
        registered_port = korv.prefs.port
    end
end

function korv.prefs_changed()
    register_port()
end
register_port()

local function heuristic(tvb, pinfo, tree)
    if not korv.prefs.heuristic or tvb:len() < HEADER then
        return false
    end
    local length = tvb(0, 2):le_uint()
    local msg_type = tvb(2, 2):le_uint()
    if length <= HEADER or LAYOUTS[msg_type] == nil or length > tvb:len() then
        return false
    end
    local r = parse_frame(tvb, length)
    if not r.ok or r.trailing then
        return false
    end
    pinfo.conversation = korv
    korv.dissector(tvb, pinfo, tree)
    return true
end

korv:register_heuristic("tcp", heuristic)

local frame_end = Proto("korvanelle_frame_end", "Korvanelle: end of a frame's dissection")
function frame_end.dissector()
    seen_in_frame.number = nil
end
register_postdissector(frame_end)
