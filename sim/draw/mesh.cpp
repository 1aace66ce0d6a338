// mesh.cpp -- reads mesh files in the simulator's text format:
//
//   MSHX1
//   GROUPS n
//   n groups: [LABEL text] [MATERIAL m] [TEXTURE t] [FLAG f] [ZBIAS z] [NONORMAL] [TEXWRAP UV]
//             GEOM nv nt, then nv vertex lines "x y z [nx ny nz] [u v]" and nt lines "i j k"
//   [MATERIALS n, n names, then per material "MATERIAL name" and four lines: diffuse r g b a,
//    ambient r g b a, specular r g b a [power], emissive r g b a]
//   [TEXTURES n, n file names each optionally followed by D]
//
// ';' starts a comment, blank lines are skipped, keywords are case-insensitive. MATERIAL and
// TEXTURE are 1-based (0 = none) and a group that omits them keeps the previous group's; the
// other group settings start afresh in every group. FLAG is hexadecimal, as the simulator reads
// it. A NONORMAL group's vertex lines carry no normals: they are made from the faces around each
// vertex. Every error names the line it was found on; a malformed file never leaves a partial
// mesh behind.
#include "mesh.h"

#include "textio.h"

#include <algorithm>
#include <cfloat>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <string_view>
#include <utility>

#include <sys/stat.h>

namespace sim {

namespace {

constexpr size_t kMaxVertices = 65536;   // indices are 16-bit
constexpr long kMaxTriangles = 1L << 22; // far beyond any mesh of ours; guards the arithmetic

// A line's words: a stretch of the file's one list of words.
struct Words {
    const std::string *first = nullptr;
    size_t n = 0;
    size_t size() const { return n; }
    bool empty() const { return n == 0; }
    const std::string &operator[](size_t i) const { return first[i]; }
};

struct Line {
    int number;        // 1-based line in the file
    Words words;       // comment removed, split at white space
    std::string_view raw;  // comment removed (a view of the file's text)
};

// The file's lines and all their words, in one list (a word is short enough to need no room of
// its own), so that splitting a file of thousands of lines asks for memory a few times only.
struct SplitText {
    std::vector<std::string> words;
    std::vector<Line> lines;
};

bool SameWord(const std::string &a, const char *b)
{
    size_t n = 0;
    for (; b[n]; ++n) {
        if (n >= a.size() || std::toupper(static_cast<unsigned char>(a[n])) != b[n]) return false;
    }
    return n == a.size();
}

// White space as the stream reader splits words at in the C locale.
bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

// The file's lines with words (comments removed; lines without a word left out). Split by hand,
// not through a stream per line: a mesh of 150 kB is thousands of lines, read whenever a vessel
// first uses it.
void SplitLines(const std::string &text, SplitText *out)
{
    std::vector<Line> &lines = out->lines;
    std::vector<std::string> &words = out->words;
    lines.reserve(static_cast<size_t>(std::count(text.begin(), text.end(), '\n')) + 1);
    std::vector<size_t> first_word;  // each line's first word in `words`
    first_word.reserve(lines.capacity());
    int number = 0;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        ++number;
        const size_t stop = static_cast<size_t>(std::find(text.begin() + static_cast<std::ptrdiff_t>(start),
                                                          text.begin() + static_cast<std::ptrdiff_t>(end), ';') -
                                                text.begin());
        const size_t first = words.size();
        for (size_t i = start; i < stop;) {
            while (i < stop && IsSpace(text[i])) ++i;
            size_t j = i;
            while (j < stop && !IsSpace(text[j])) ++j;
            if (j > i) words.emplace_back(text, i, j - i);
            i = j;
        }
        if (words.size() > first) {
            lines.push_back(Line{number, Words{nullptr, words.size() - first},
                                 std::string_view(text).substr(start, stop - start)});
            first_word.push_back(first);
        }
        start = end + 1;
    }
    // The list no longer grows: the lines can point into it.
    for (size_t i = 0; i < lines.size(); ++i) lines[i].words.first = words.data() + first_word[i];
}

// The text after the first word of a line, as written (for labels).
std::string Rest(const Line &line)
{
    const std::string_view raw = line.raw;
    size_t start = raw.find_first_not_of(" \t\r");
    start = raw.find_first_of(" \t\r", start);
    if (start == std::string::npos) return "";
    start = raw.find_first_not_of(" \t\r", start);
    if (start == std::string::npos) return "";
    size_t end = raw.find_last_not_of(" \t\r");
    return std::string(raw.substr(start, end - start + 1));
}

class Parser {
public:
    Parser(const std::string &text, std::string *error) : lines_(split_.lines), error_(error)
    {
        SplitLines(text, &split_);
    }

    bool Run(Mesh *out);

private:
    struct GroupSource {
        int material = 0, material_line = 0;  // 1-based, and the line that chose it
        int texture = 0, texture_line = 0;
    };

    bool Fail(int line, const std::string &what)
    {
        if (error_) *error_ = (line > 0 ? "line " + std::to_string(line) + ": " : std::string()) + what;
        return false;
    }
    int EndLine() const { return lines_.empty() ? 0 : lines_.back().number; }
    bool AtEnd() const { return pos_ >= lines_.size(); }
    const Line &Cur() const { return lines_[pos_]; }

    bool Count(const Line &line, size_t word, long max, long *value, const char *what);
    bool Number(const Line &line, size_t word, float *value);
    bool Group(int g, GroupSource *src);
    bool Materials();
    bool Textures();

    SplitText split_;
    const std::vector<Line> &lines_;
    std::string *error_;
    size_t pos_ = 0;

    std::vector<std::vector<NTVERTEX>> vtx_;
    std::vector<std::vector<WORD>> idx_;
    std::vector<MESHGROUP> groups_;
    std::vector<std::string> labels_;
    std::vector<GroupSource> sources_;
    std::vector<MATERIAL> materials_;
    std::vector<std::string> material_names_;
    std::vector<std::string> texture_names_;
};

bool Parser::Count(const Line &line, size_t word, long max, long *value, const char *what)
{
    if (word >= line.words.size()) return Fail(line.number, std::string("expected ") + what);
    const std::string &w = line.words[word];
    char *end = nullptr;
    errno = 0;
    long v = std::strtol(w.c_str(), &end, 10);
    if (end == w.c_str() || *end || errno || v < 0 || v > max) {
        return Fail(line.number, QuoteLine(w) + " is not a valid " + what);
    }
    *value = v;
    return true;
}

bool Parser::Number(const Line &line, size_t word, float *value)
{
    const std::string &w = line.words[word];
    char *end = nullptr;
    double v = std::strtod(w.c_str(), &end);
    // A mesh's numbers are floats: a value beyond the largest float would become infinite.
    if (end == w.c_str() || *end || !std::isfinite(v) || std::fabs(v) > FLT_MAX) {
        return Fail(line.number, QuoteLine(w) + " is not a number a float can hold");
    }
    *value = static_cast<float>(v);
    return true;
}

bool Parser::Group(int g, GroupSource *src)
{
    MESHGROUP grp{};
    std::string label;
    bool normals = true;
    const std::string which = "group " + std::to_string(g);

    // Settings up to GEOM.
    while (true) {
        if (AtEnd()) {
            return Fail(EndLine(), "file ends in " + which + " before its GEOM line");
        }
        const Line &line = Cur();
        const std::string &key = line.words[0];
        ++pos_;
        if (SameWord(key, "GEOM")) {
            long nv = 0, nt = 0;
            if (line.words.size() < 3) return Fail(line.number, "GEOM needs a vertex and a triangle count");
            if (!Count(line, 1, kMaxVertices, &nv, "vertex count") ||
                !Count(line, 2, kMaxTriangles, &nt, "triangle count")) {
                return false;
            }
            grp.nVtx = static_cast<DWORD>(nv);
            grp.nIdx = static_cast<DWORD>(3 * nt);
            break;
        } else if (SameWord(key, "LABEL")) {
            label = Rest(line);
        } else if (SameWord(key, "MATERIAL") || SameWord(key, "TEXTURE")) {
            bool mat = SameWord(key, "MATERIAL");
            long v = 0;
            if (!Count(line, 1, 0xFFFF, &v, mat ? "material index" : "texture index")) return false;
            (mat ? src->material : src->texture) = static_cast<int>(v);
            (mat ? src->material_line : src->texture_line) = line.number;
        } else if (SameWord(key, "FLAG")) {
            if (line.words.size() < 2) return Fail(line.number, "FLAG needs a value");
            char *end = nullptr;
            errno = 0;
            unsigned long v = std::strtoul(line.words[1].c_str(), &end, 16);
            if (*end || end == line.words[1].c_str() || errno || v > 0xFFFFFFFFul) {
                return Fail(line.number, QuoteLine(line.words[1]) + " is not a hexadecimal flag");
            }
            grp.UsrFlag = static_cast<DWORD>(v);
        } else if (SameWord(key, "ZBIAS")) {
            long v = 0;
            if (!Count(line, 1, 0xFFFF, &v, "z bias")) return false;
            grp.zBias = static_cast<WORD>(v);
        } else if (SameWord(key, "NONORMAL")) {
            normals = false;
        } else if (SameWord(key, "TEXWRAP")) {
            // Texture wrapping matters to a renderer only; the value is checked, not kept.
            if (line.words.size() < 2 || line.words[1].find_first_not_of("uvUV") != std::string::npos) {
                return Fail(line.number, "TEXWRAP takes U, V or UV");
            }
        } else {
            return Fail(line.number, "unknown keyword '" + key + "' in " + which);
        }
    }
    const int geom_line = lines_[pos_ - 1].number;
    std::vector<NTVERTEX> vtx(grp.nVtx);
    for (DWORD i = 0; i < grp.nVtx; ++i) {
        if (AtEnd()) {
            return Fail(EndLine(), "file ends after " + std::to_string(i) + " of the " +
                                       std::to_string(grp.nVtx) + " vertices announced on line " +
                                       std::to_string(geom_line));
        }
        const Line &line = Cur();
        ++pos_;
        const size_t n = line.words.size();
        const bool ok = normals ? (n == 6 || n == 8) : (n == 3 || n == 5);
        if (!ok) {
            return Fail(line.number, normals ? "expected a vertex: x y z nx ny nz [u v]"
                                             : "expected a vertex without normal: x y z [u v]");
        }
        float f[8] = {0, 0, 0, 0, 0, 0, 0, 0};
        for (size_t k = 0; k < n; ++k) {
            if (!Number(line, k, &f[k])) return false;
        }
        NTVERTEX &v = vtx[i];
        v.x = f[0];
        v.y = f[1];
        v.z = f[2];
        if (normals) {
            v.nx = f[3];
            v.ny = f[4];
            v.nz = f[5];
            v.tu = f[6];
            v.tv = f[7];
        } else {
            v.nx = v.ny = v.nz = 0;
            v.tu = f[3];
            v.tv = f[4];
        }
    }

    // Reserved only as far as the file can hold: a count that lies does not allocate.
    std::vector<WORD> idx;
    idx.reserve(std::min<size_t>(grp.nIdx, 3 * (lines_.size() - pos_)));
    for (DWORD t = 0; t < grp.nIdx / 3; ++t) {
        if (AtEnd()) {
            return Fail(EndLine(), "file ends after " + std::to_string(t) + " of the " +
                                       std::to_string(grp.nIdx / 3) + " triangles announced on line " +
                                       std::to_string(geom_line));
        }
        const Line &line = Cur();
        ++pos_;
        if (line.words.size() != 3) return Fail(line.number, "expected 3 vertex indices");
        for (int k = 0; k < 3; ++k) {
            long v = 0;
            if (!Count(line, static_cast<size_t>(k), kMaxVertices, &v, "vertex index")) return false;
            if (static_cast<DWORD>(v) >= grp.nVtx) {
                return Fail(line.number, "vertex index " + std::to_string(v) + " out of range (" + which +
                                             " has " + std::to_string(grp.nVtx) + " vertices)");
            }
            idx.push_back(static_cast<WORD>(v));
        }
    }

    if (!normals) {
        // Each vertex gets the normalised sum of the normals of the faces around it.
        for (DWORD t = 0; t + 2 < grp.nIdx; t += 3) {
            const NTVERTEX &a = vtx[idx[t]], &b = vtx[idx[t + 1]], &c = vtx[idx[t + 2]];
            float ux = b.x - a.x, uy = b.y - a.y, uz = b.z - a.z;
            float wx = c.x - a.x, wy = c.y - a.y, wz = c.z - a.z;
            float nx = uy * wz - uz * wy, ny = uz * wx - ux * wz, nz = ux * wy - uy * wx;
            for (int k = 0; k < 3; ++k) {
                NTVERTEX &v = vtx[idx[t + static_cast<DWORD>(k)]];
                v.nx += nx;
                v.ny += ny;
                v.nz += nz;
            }
        }
        for (NTVERTEX &v : vtx) {
            float len = std::sqrt(v.nx * v.nx + v.ny * v.ny + v.nz * v.nz);
            if (len > 0) {
                v.nx /= len;
                v.ny /= len;
                v.nz /= len;
            }
        }
    }

    vtx_.push_back(std::move(vtx));
    idx_.push_back(std::move(idx));
    groups_.push_back(grp);
    labels_.push_back(label);
    sources_.push_back(*src);
    return true;
}

bool Parser::Materials()
{
    const Line &head = Cur();
    ++pos_;
    long n = 0;
    if (!Count(head, 1, 0xFFFF, &n, "material count")) return false;
    for (long i = 0; i < n; ++i) {
        if (AtEnd()) return Fail(EndLine(), "file ends in the list of " + std::to_string(n) + " material names");
        if (Cur().words.size() != 1) return Fail(Cur().number, "expected a material name (one word)");
        material_names_.push_back(Cur().words[0]);
        ++pos_;
    }
    for (long i = 0; i < n; ++i) {
        const std::string &name = material_names_[static_cast<size_t>(i)];
        if (AtEnd()) return Fail(EndLine(), "file ends before the block of material '" + name + "'");
        const Line &line = Cur();
        if (!SameWord(line.words[0], "MATERIAL") || line.words.size() < 2) {
            return Fail(line.number, "expected MATERIAL " + name);
        }
        if (line.words[1] != name) {
            return Fail(line.number, "material block '" + line.words[1] + "' where '" + name + "' was expected");
        }
        ++pos_;
        MATERIAL m{};
        COLOUR4 *parts[4] = {&m.diffuse, &m.ambient, &m.specular, &m.emissive};
        static const char *kPartNames[4] = {"diffuse", "ambient", "specular", "emissive"};
        for (int k = 0; k < 4; ++k) {
            if (AtEnd()) {
                return Fail(EndLine(), "file ends in the block of material '" + name + "'");
            }
            const Line &c = Cur();
            ++pos_;
            size_t count = c.words.size();
            if (count != 4 && !(k == 2 && count == 5)) {
                return Fail(c.number, std::string("expected the ") + kPartNames[k] + " colour r g b a" +
                                          (k == 2 ? " [power]" : "") + " of material '" + name + "'");
            }
            float f[5] = {0, 0, 0, 0, 0};
            for (size_t w = 0; w < count; ++w) {
                if (!Number(c, w, &f[w])) return false;
            }
            *parts[k] = COLOUR4{f[0], f[1], f[2], f[3]};
            if (k == 2) m.power = f[4];
        }
        materials_.push_back(m);
    }
    return true;
}

bool Parser::Textures()
{
    const Line &head = Cur();
    ++pos_;
    long n = 0;
    if (!Count(head, 1, 0xFFFF, &n, "texture count")) return false;
    for (long i = 0; i < n; ++i) {
        if (AtEnd()) return Fail(EndLine(), "file ends in the list of " + std::to_string(n) + " textures");
        const Line &line = Cur();
        ++pos_;
        if (line.words.size() > 2 || (line.words.size() == 2 && !SameWord(line.words[1], "D"))) {
            return Fail(line.number, "expected a texture file name, optionally followed by D");
        }
        texture_names_.push_back(line.words[0]);
    }
    return true;
}

bool Parser::Run(Mesh *out)
{
    if (AtEnd() || !SameWord(Cur().words[0], "MSHX1")) {
        return Fail(AtEnd() ? 0 : Cur().number, "not a mesh file (MSHX1 expected)");
    }
    ++pos_;
    if (AtEnd() || !SameWord(Cur().words[0], "GROUPS")) {
        return Fail(AtEnd() ? EndLine() : Cur().number, "expected GROUPS n");
    }
    long ngroups = 0;
    if (!Count(Cur(), 1, 0xFFFF, &ngroups, "group count")) return false;
    ++pos_;
    GroupSource src;
    for (long g = 0; g < ngroups; ++g) {
        if (!Group(static_cast<int>(g), &src)) return false;
    }

    bool have_materials = false, have_textures = false;
    while (!AtEnd()) {
        const Line &line = Cur();
        if (SameWord(line.words[0], "MATERIALS") && !have_materials) {
            have_materials = true;
            if (!Materials()) return false;
        } else if (SameWord(line.words[0], "TEXTURES") && !have_textures) {
            have_textures = true;
            if (!Textures()) return false;
        } else {
            return Fail(line.number, "unexpected '" + line.words[0] + "' after the " +
                                         std::to_string(ngroups) + " groups");
        }
    }

    // Indices into the material and texture lists, now that their sizes are known.
    for (size_t g = 0; g < groups_.size(); ++g) {
        const GroupSource &s = sources_[g];
        if (s.material > static_cast<int>(materials_.size())) {
            return Fail(s.material_line, "group " + std::to_string(g) + ": material " + std::to_string(s.material) +
                                             " out of range (the mesh has " + std::to_string(materials_.size()) +
                                             " materials)");
        }
        if (s.texture > static_cast<int>(texture_names_.size())) {
            return Fail(s.texture_line, "group " + std::to_string(g) + ": texture " + std::to_string(s.texture) +
                                            " out of range (the mesh has " + std::to_string(texture_names_.size()) +
                                            " textures)");
        }
        groups_[g].MtrlIdx = s.material ? static_cast<DWORD>(s.material - 1) : SPEC_DEFAULT;
        groups_[g].TexIdx = s.texture ? static_cast<DWORD>(s.texture - 1) : SPEC_DEFAULT;
    }

    out->vtx = std::move(vtx_);
    out->idx = std::move(idx_);
    out->groups = std::move(groups_);
    out->group_labels = std::move(labels_);
    out->materials = std::move(materials_);
    out->material_names = std::move(material_names_);
    out->texture_names = std::move(texture_names_);
    out->textures.clear();
    out->Relink();
    return true;
}

}  // namespace

void Mesh::CopyFrom(const Mesh &other)
{
    if (&other == this) return;
    name = other.name;
    vtx = other.vtx;
    idx = other.idx;
    groups = other.groups;
    group_labels = other.group_labels;
    materials = other.materials;
    material_names = other.material_names;
    texture_names = other.texture_names;
    textures = other.textures;
    properties = other.properties;
    Relink();
}

void Mesh::Relink()
{
    for (size_t g = 0; g < groups.size(); ++g) {
        groups[g].Vtx = g < vtx.size() && !vtx[g].empty() ? vtx[g].data() : nullptr;
        groups[g].Idx = g < idx.size() && !idx[g].empty() ? idx[g].data() : nullptr;
    }
}

void Mesh::Release()
{
    alive = false;
    std::vector<std::vector<NTVERTEX>>().swap(vtx);
    std::vector<std::vector<WORD>>().swap(idx);
    std::vector<MESHGROUP>().swap(groups);
    std::vector<MATERIAL>().swap(materials);
    std::vector<Surface *>().swap(textures);
    properties.clear();
}

bool ParseMesh(const std::string &text, Mesh *out, std::string *error)
{
    if (!out) {
        if (error) *error = "no mesh to read into";
        return false;
    }
    Parser parser(text, error);
    return parser.Run(out);
}

// ---- mesh files kept for the process ---------------------------------------------------------
// A program that makes many worlds from one add-on tree (a campaign forks one mission after another
// from one process) reads each mesh file once: a kept file is read again only when its device,
// inode, size or time stamp changed.
namespace {

struct FileStamp {
    dev_t dev;
    ino_t ino;
    off_t size;
    timespec mtime;
};

bool StampOf(const std::string &path, FileStamp *out)
{
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return false;
    *out = {st.st_dev, st.st_ino, st.st_size, st.st_mtim};
    return true;
}

bool SameStamp(const FileStamp &a, const FileStamp &b)
{
    return a.dev == b.dev && a.ino == b.ino && a.size == b.size && a.mtime.tv_sec == b.mtime.tv_sec &&
           a.mtime.tv_nsec == b.mtime.tv_nsec;
}

struct KeptMesh {
    FileStamp stamp;
    Mesh mesh;
};

struct MeshKeep {
    std::mutex lock;
    bool on = false;
    std::map<std::string, std::unique_ptr<KeptMesh>> files;
};

MeshKeep &Kept()
{
    static MeshKeep keep;
    return keep;
}

}  // namespace

void KeepMeshFiles(bool on)
{
    MeshKeep &k = Kept();
    std::lock_guard<std::mutex> hold(k.lock);
    k.on = on;
    if (!on) k.files.clear();
}

bool LoadMeshFile(const std::string &path, Mesh *out, std::string *error)
{
    if (!out) {
        if (error) *error = "no mesh to read into";
        return false;
    }
    MeshKeep &k = Kept();
    FileStamp stamp{};
    bool keep;
    {
        std::lock_guard<std::mutex> hold(k.lock);
        keep = k.on && StampOf(path, &stamp);
        auto it = keep ? k.files.find(path) : k.files.end();
        if (it != k.files.end() && SameStamp(it->second->stamp, stamp)) {
            out->CopyFrom(it->second->mesh);
            return true;
        }
    }
    std::string text, why;
    if (!ReadTextFile(path, &text, &why)) {  // bounded, as a scenario
        if (error) *error = why;
        return false;
    }
    if (!ParseMesh(text, out, &why)) {
        if (error) *error = path + ": " + why;
        return false;
    }
    if (keep) {
        auto kept = std::make_unique<KeptMesh>();
        kept->stamp = stamp;
        kept->mesh.CopyFrom(*out);
        std::lock_guard<std::mutex> hold(k.lock);
        k.files[path] = std::move(kept);
    }
    return true;
}

}  // namespace sim
