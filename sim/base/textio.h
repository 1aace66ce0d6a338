// textio.h -- the stand-in host's own files: text read with bounds (a scenario or an inputs file
// from an endless device must not grow memory without end), files written and checked to the end
// (a full disk is an error, never a silent empty file), offending lines quoted safely in messages,
// and numbers written so that they read back to the same value.
#pragma once

#include <cstdio>
#include <string>

namespace sim {

constexpr std::size_t kMaxTextFile = 64u << 20;  // [bytes] a scenario or inputs file larger is refused
constexpr std::size_t kMaxTextLine = 64u << 10;  // [bytes] a longer line is refused

// Reads a whole text file of at most kMaxTextFile bytes whose lines are at most kMaxTextLine
// bytes long, reading no more than that from it; false with "PATH: reason" otherwise (a folder, an
// unreadable file, a read error, too large, a line too long with its number).
bool ReadTextFile(const std::string &path, std::string *text, std::string *error);

// Writes `data` to `path` whole or not at all, checked to the end: every byte written to a
// temporary file beside it, flushed to the disk, then renamed over `path`. False with "cannot
// write PATH: <strerror>" otherwise, `path` left as it was.
bool WriteTextFile(const std::string &path, const std::string &data, std::string *error);

// A file written piece by piece through a run (timeline, trajectory): the first failure is kept,
// with its reason, and reported by Ok()/Close(). The pieces go to a temporary file beside it, which
// Close() puts in its place once whole; a file never closed, or closed after a failure, leaves the
// old one (if any) untouched.
class OutFile {
public:
    OutFile() = default;
    ~OutFile();
    OutFile(const OutFile &) = delete;
    OutFile &operator=(const OutFile &) = delete;
    bool Open(const std::string &path);  // false (and error()) when it cannot be created
    bool IsOpen() const { return f_ != nullptr; }
    void Write(const std::string &s);
    bool Ok() const { return error_.empty(); }
    bool Close();  // flushes and closes; false (and error()) if anything failed
    const std::string &error() const { return error_; }
    const std::string &path() const { return path_; }

private:
    void Failed(int err);
    std::FILE *f_ = nullptr;
    std::string path_, target_, temp_, error_;  // target_: path_ with a link followed
};

// An offending line as a message quotes it: at most 80 characters of it, control bytes and bytes
// above 0x7e written as \xNN (\t as \t), "..." when cut. With its quotes.
std::string QuoteLine(const std::string &line);

// A finite value in fixed notation with `decimals` decimals, as the host writes it, a value that
// prints as zero written "0.000..." (never "-0.000"). With keep_small, where those decimals would
// read back as zero a value that is not zero (a value whose zero means something else: a landed
// elevation of 0 is "the class's default", a propellant level of 0 an empty tank), as many
// decimals as it takes to read back exactly. Any size: the largest finite double is written whole
// (fixed notation prints a double's integer part exactly, so it reads back to the same value).
std::string FixedText(double v, int decimals, bool keep_small = false);
// The same (without keep_small) appended to `out`: no allocation once `out` holds enough room, for
// outputs written every simulated second.
void AppendFixed(std::string &out, double v, int decimals);

// A value written so that it reads back exactly (shortest round-trip form, %.17g at most).
std::string ExactText(double v);

}  // namespace sim
