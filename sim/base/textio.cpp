// textio.cpp -- bounded reading, checked writing, safe quoting and exact numbers (see textio.h).
#include "textio.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace sim {

bool ReadTextFile(const std::string &path, std::string *text, std::string *error)
{
    auto fail = [&](const std::string &why) {
        if (error) *error = path + ": " + why;
        return false;
    };
    struct stat st;
    if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return fail("is a folder");
    std::FILE *f = std::fopen(path.c_str(), "rb");
    if (!f) return fail(std::strerror(errno));
    std::string out;
    char buf[65536];
    std::size_t line_len = 0, line_no = 1;
    bool ok = true;
    std::string why;
    for (;;) {
        const std::size_t n = std::fread(buf, 1, sizeof buf, f);
        for (std::size_t i = 0; i < n && ok; ++i) {
            if (buf[i] == '\n') {
                line_len = 0;
                ++line_no;
            } else if (++line_len > kMaxTextLine) {
                ok = false;
                why = "line " + std::to_string(line_no) + " is longer than " + std::to_string(kMaxTextLine) +
                      " bytes";
            }
        }
        if (!ok) break;
        if (out.size() + n > kMaxTextFile) {
            ok = false;
            why = "larger than " + std::to_string(kMaxTextFile >> 20) + " MiB";
            break;
        }
        out.append(buf, n);
        if (n < sizeof buf) {
            if (std::ferror(f)) {
                ok = false;
                why = std::strerror(errno);
            }
            break;
        }
    }
    std::fclose(f);
    if (!ok) return fail(why);
    *text = std::move(out);
    return true;
}

bool WriteTextFile(const std::string &path, const std::string &data, std::string *error)
{
    OutFile f;
    if (f.Open(path)) {
        f.Write(data);
        if (f.Close()) return true;
    }
    if (error) *error = f.error();
    return false;
}

OutFile::~OutFile()
{
    if (!f_) return;
    std::fclose(f_);  // never finished: the old file stays as it was
    if (!temp_.empty()) std::remove(temp_.c_str());
}

void OutFile::Failed(int err)
{
    if (error_.empty()) error_ = "cannot write " + path_ + ": " + std::strerror(err ? err : EIO);
}

// The bytes go to a temporary file beside the target ("<name>.<pid>.tmp", so that two processes
// writing the same name do not share one), which replaces the target only once it is whole on the
// disk: a run killed or a disk filled halfway leaves the last good file, never half a file. A link
// is followed (the file it names is replaced, the link stays); a target that is not a regular file
// (a device, a pipe) is written in place, as nothing can stand in for it.
bool OutFile::Open(const std::string &path)
{
    if (f_) {
        std::fclose(f_);
        if (!temp_.empty()) std::remove(temp_.c_str());
        f_ = nullptr;
    }
    path_ = path;
    target_ = path;
    temp_.clear();
    error_.clear();
    struct stat st;
    const bool exists = ::stat(path.c_str(), &st) == 0;
    if (!exists || S_ISREG(st.st_mode)) {
        struct stat lst;
        if (exists && ::lstat(path.c_str(), &lst) == 0 && S_ISLNK(lst.st_mode)) {
            if (char *real = ::realpath(path.c_str(), nullptr)) {
                target_ = real;
                std::free(real);
            }
        }
        temp_ = target_ + "." + std::to_string(static_cast<long>(::getpid())) + ".tmp";
    }
    errno = 0;
    f_ = std::fopen((temp_.empty() ? path_ : temp_).c_str(), "wb");
    if (!f_) Failed(errno);
    return f_ != nullptr;
}

void OutFile::Write(const std::string &s)
{
    if (!f_ || !error_.empty() || s.empty()) return;
    errno = 0;
    if (std::fwrite(s.data(), 1, s.size(), f_) != s.size()) Failed(errno);
}

bool OutFile::Close()
{
    if (!f_) return error_.empty() && !path_.empty();
    errno = 0;
    if (std::fflush(f_) != 0) Failed(errno);
    errno = 0;
    if (error_.empty() && !temp_.empty() && ::fsync(fileno(f_)) != 0) Failed(errno);  // on the disk before the name moves
    errno = 0;
    if (std::fclose(f_) != 0) Failed(errno);
    f_ = nullptr;
    if (temp_.empty()) return error_.empty();
    errno = 0;
    if (error_.empty() && std::rename(temp_.c_str(), target_.c_str()) != 0) Failed(errno);
    if (!error_.empty()) std::remove(temp_.c_str());
    temp_.clear();
    return error_.empty();
}

std::string QuoteLine(const std::string &line)
{
    constexpr std::size_t kShown = 80;  // characters of the line a message repeats
    std::string out = "\"";
    const std::size_t n = std::min(line.size(), kShown);
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned char c = static_cast<unsigned char>(line[i]);
        if (c == '\t') {
            out += "\\t";
        } else if (c < 0x20 || c >= 0x7f || c == '\\' || c == '"') {
            char b[8];
            std::snprintf(b, sizeof b, "\\x%02x", c);
            out += b;
        } else {
            out += static_cast<char>(c);
        }
    }
    if (line.size() > kShown) out += "...";
    return out + "\"";
}

namespace {

std::string Printf(const char *fmt, int prec, double v)
{
    const int n = std::snprintf(nullptr, 0, fmt, prec, v);
    std::string s(static_cast<std::size_t>(n > 0 ? n : 0) + 1, '\0');
    std::snprintf(&s[0], s.size(), fmt, prec, v);
    s.resize(static_cast<std::size_t>(n > 0 ? n : 0));
    return s;
}

}  // namespace

std::string FixedText(double v, int decimals, bool keep_small)
{
    std::string s = Printf("%.*f", decimals, v);
    if (std::strtod(s.c_str(), nullptr) == 0.0) {
        if (v == 0.0 || !keep_small || !std::isfinite(v)) return Printf("%.*f", decimals, 0.0);
        // Too small for the host's decimals: as many as it takes to read back exactly.
        for (int p = decimals + 1; p <= 1100; ++p) {
            s = Printf("%.*f", p, v);
            if (std::strtod(s.c_str(), nullptr) == v) break;
        }
    }
    return s;
}

void AppendFixed(std::string &out, double v, int decimals)
{
    // Fixed notation of the largest double: 309 integer digits, a sign, a point and the decimals.
    char buf[400];
    decimals = decimals < 0 ? 0 : decimals > 60 ? 60 : decimals;
    int n = std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
    if (n > 0 && std::strtod(buf, nullptr) == 0.0) n = std::snprintf(buf, sizeof buf, "%.*f", decimals, 0.0);
    if (n > 0) out.append(buf, static_cast<std::size_t>(n) < sizeof buf ? static_cast<std::size_t>(n) : sizeof buf - 1);
}

std::string ExactText(double v)
{
    std::string s;
    for (int p = 1; p <= 17; ++p) {
        s = Printf("%.*g", p, v);
        if (std::strtod(s.c_str(), nullptr) == v) break;
    }
    return s;
}

}  // namespace sim
