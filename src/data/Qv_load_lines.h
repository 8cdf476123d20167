// The load's reading of a history file's text: its lines cut block by block from a source
// (stream_lines), the next block read while the lines of the one before are parsed, a line longer than
// a block split piece by piece. Qv_load.cpp uses it beside its reading of an exported history
// (Qv_load_export.h). Standard library only.
#pragma once

#include "Qv_file_internal.h"
#include "Qv_load_internal.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <string_view>
#include <vector>

namespace qv_internal {

// Cuts a source's text into lines as qv_file_split_lines cuts the file text buffer, reading it block by
// block: on_line(text, split, stray_cr, unquoted) is called for each line, with split null and the
// line's text, or, for a line longer than a block, with the line already split (its text is never held
// whole) and the splitter's result (-1: nothing before the line end or CR, -2: not begun with a quote).
// progress(bytes read) is asked after the lines of each block whether to go on.
template <class OnLine, class Progress>
Tstream_end stream_lines(Tsource &source, OnLine &&on_line, Progress &&progress)
{
    Tstream_end result;
    const std::size_t block_size = stream_block_size(source);
    // Two blocks: the next is read into one while the lines of the other are parsed. A text in memory
    // that fits in one block is cut where it lies (an empty one may view nothing at all: it is read).
    std::vector<char> blocks[2];
    const char *begin = nullptr;
    std::size_t kept = 0; // the unfinished line, at the block's start
    std::size_t lines = 0;
    std::uint64_t bytes = 0;
    char last_byte = '\0'; // the last byte of the text so far

    // A line longer than a block goes through the splitter, its text up to its first CR.
    Tqv_line_splitter splitter;
    qv_line_fields long_fields;
    bool long_line = false;
    bool long_cr = false;    // a CR ended the long line's text
    bool long_stray = false; // and something other than CRs followed it
    const auto feed_long = [&](const char *from, const char *to) {
        if (!long_cr) {
            const char *cr =
                static_cast<const char *>(std::memchr(from, '\r', static_cast<std::size_t>(to - from)));
            splitter.feed(std::string_view(from, static_cast<std::size_t>((cr != nullptr ? cr : to) - from)));
            if (cr == nullptr)
                return;
            long_cr = true;
            from = cr;
        }
        long_stray = long_stray || std::any_of(from, to, [](char c) { return c != '\r'; });
    };
    const auto end_long = [&] {
        long_fields.clear();
        const int split = splitter.finish(long_fields);
        on_line(std::string_view(), &long_fields, long_stray, split);
        ++lines;
        long_line = false;
    };
    const auto counted = [&](std::string_view text, bool stray_cr) {
        on_line(text, nullptr, stray_cr);
        ++lines;
    };
    // The next block's look for a zero byte and the cut of its first lines, made by the thread that
    // reads it while this block's lines are parsed (when the next block does not go on a long line).
    struct Tcut_line {
        const char *text;
        std::uint32_t size;
        bool stray_cr;
    };
    struct Tahead {
        bool made = false;
        const char *zero = nullptr;
        std::vector<Tcut_line> lines;
        const char *rest = nullptr; // where the lines not cut ahead begin
    } ahead;
    // At most as many lines as one run of the parse holds, so that a block of very short lines keeps
    // little here.
    constexpr std::size_t ahead_max = 32768;
    const auto look_ahead = [&ahead](const char *block, std::size_t carried, std::size_t read) {
        ahead.zero = static_cast<const char *>(std::memchr(block + carried, '\0', read));
        ahead.lines.clear();
        ahead.rest = block;
        if (read != 0 && ahead.zero == nullptr)
            ahead.rest = cut_lines(
                block, block + carried + read, false,
                [&ahead](std::string_view text, bool stray_cr) {
                    ahead.lines.push_back({text.data(), static_cast<std::uint32_t>(text.size()), stray_cr});
                },
                ahead_max);
        ahead.made = true;
    };

    std::size_t got = 0;
    const std::optional<std::string_view> text = source.in_memory();
    if (text && !text->empty() && text->size() < block_size) {
        begin = text->data();
        got = text->size();
        source.skip(got);
    } else {
        blocks[0].resize(block_size);
        begin = blocks[0].data();
        got = source.read(blocks[0].data(), block_size);
    }
    for (;;) {
        if (bytes == 0)
            result.head.assign(begin, std::min<std::size_t>(got, 64));
        bytes += got;
        const bool made_ahead = ahead.made;
        ahead.made = false;
        const char *const zero =
            made_ahead ? ahead.zero : static_cast<const char *>(std::memchr(begin + kept, '\0', got));
        const char *const end = zero != nullptr ? zero : begin + kept + got;
        // A source gives no more than its size: a block that ends there without filling up is the
        // last, and the read that would find the end is left out.
        const bool at_size = got != 0 && zero == nullptr && kept + got < block_size && bytes == source.size();
        const bool last = got == 0 || zero != nullptr || at_size;
        const char *from = begin;
        // A block that holds a zero byte or nothing was not cut ahead: no lines, its rest at its start.
        if (made_ahead) {
            for (const Tcut_line &cut : ahead.lines)
                counted(std::string_view(cut.text, cut.size), cut.stray_cr);
            from = ahead.rest;
        }
        if (long_line) {
            const char *lf =
                static_cast<const char *>(std::memchr(from, '\n', static_cast<std::size_t>(end - from)));
            feed_long(from, lf != nullptr ? lf : end);
            if (lf != nullptr) {
                end_long();
                from = lf + 1;
            } else {
                from = end;
            }
        }
        const char *const rest = cut_lines(from, end, false, counted);
        if (end > begin)
            last_byte = end[-1];
        if (last) {
            if (at_size) {
                // As after any block read: its lines are parsed, then the caller is asked whether to go
                // on to the end.
                on_line.flush();
                if (!progress(bytes)) {
                    result.cancelled = true;
                    return result;
                }
            }
            // The unfinished last line counts when the text ended where it should, or at a zero byte.
            const bool unfinished = long_line || rest < end || (zero != nullptr && lines == 0);
            if (unfinished && (zero != nullptr || source.intact())) {
                if (long_line)
                    end_long();
                else
                    cut_lines(rest, end, true, counted);
                if (lines == 0)
                    counted(std::string_view(), false); // the start of the text is always a line
            }
            if (zero != nullptr) {
                // A zero byte with nothing after it loses nothing.
                char probe;
                if (zero + 1 < begin + kept + got || source.read(&probe, 1) != 0)
                    result.zero_line = last_byte == '\n' ? lines : lines - 1;
            }
            on_line.flush();
            return result;
        }
        kept = static_cast<std::size_t>(end - rest);
        if (kept == block_size) {
            // No line end in a whole block: the rest of this line goes through the splitter.
            splitter.begin();
            long_cr = false;
            long_stray = false;
            long_line = true;
            feed_long(rest, end);
            kept = 0;
        }
        // The unfinished line goes to the start of the other block, and the text after it is read there
        // while this block's lines are parsed.
        std::vector<char> &next = blocks[begin == blocks[0].data() ? 1 : 0];
        if (next.empty())
            next.resize(block_size);
        if (kept > 0)
            std::memcpy(next.data(), rest, kept);
        std::size_t next_got = 0;
        on_line.flush([&] {
            next_got = source.read(next.data() + kept, block_size - kept);
            if (!long_line)
                look_ahead(next.data(), kept, next_got);
        });
        begin = next.data();
        got = next_got;
        if (!progress(bytes)) {
            result.cancelled = true;
            return result;
        }
    }
}

} // namespace qv_internal
