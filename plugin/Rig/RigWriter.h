#pragma once
// The rig file writer: one method per element of the file, each writing that element's
// text straight to the output stream, so a file cut short by a failure holds exactly the
// elements written before it. Elements are written in file order:
//
//   BeginFile, BoneCount, then per bone BeginBone, BoneParent, BindMatrix, EndBone;
//   MeshCount, then per mesh BeginMesh, its sections (BeginSection followed by the
//   section's lines, sets and weights) and EndMesh.
//
// Underneath are three primitives (text, unsigned integer, reals), each one write of one
// text. The lines of a mesh's sections (vectors, numbers, coordinates, indices, weights)
// are gathered and handed to the stream kLineBuffer bytes at a time: when the buffer is
// full, before any other element is written, and when the writer ends, so the stream
// always receives the elements in file order and, once the writer is gone, all of them.

#include <cstdint>

#include "Core/UArray.h"
#include "Core/UBaseString.h"
#include "CoreServices/Interfaces/IStream.h"
#include "Math/TMatrix4.h"
#include "Math/TVector.h"

class RigWriter {
public:
    explicit RigWriter(brix::IOutputStream& stream) : m_stream(stream) {}
    ~RigWriter() { FlushLines(); }
    RigWriter(const RigWriter&) = delete;
    RigWriter& operator=(const RigWriter&) = delete;

    // --- File header and bones ------------------------------------------------------
    // "version 1" and its line break.
    void BeginFile();
    // The bone count line; the first bone follows it.
    void BoneCount(uint32_t count);
    // Opens bone `index` and writes its name line.
    void BeginBone(uint32_t index, const brix::UString& name);
    // The parent's name; an empty name for a bone without parent.
    void BoneParent(const brix::UString& parentName);
    // The inverse bind matrix, four rows of four reals, row 0 first. world is the bone's
    // bind-time world matrix in the file's axes, the inverse of rows, and rigSize the
    // rig's size (RigSize). Entries are written with four decimals where those keep the
    // bone (FourDecimalsKeepBone); else every entry of the matrix is written in its exact
    // form (FormatExactReal).
    void BindMatrix(const float rows[4][4], const float world[4][4], float rigSize);
    void EndBone();

    // --- Meshes ---------------------------------------------------------------------
    void MeshCount(uint32_t count);
    // Opens mesh `index` and writes its name line.
    void BeginMesh(uint32_t index, const brix::UString& name);
    // Opens a list section of the mesh ("vertices", "normals", "textureCoordinates",
    // "materialNames", ...), closing the section before it. key must outlive the writer
    // (a literal).
    void BeginSection(const char* key);
    // One line of a section: a vector of three reals (a position or a normal).
    void VectorLine(const brix::TVector3<float>& v);
    // One line of a section: an unsigned number (a count or an index).
    void NumberLine(uint32_t value);
    // One line of the material-name section: the name between double quotes.
    void MaterialNameLine(const brix::UString& name);
    // Opens set `set` inside a section that holds sets (texture coordinates and their
    // indices).
    void BeginSet(int32_t set);
    // Closes a set; the last set of a section is followed by no blank line.
    void EndSet(bool lastSet);
    // One line of a set: a (u, v) pair.
    void CoordinateLine(float u, float v);
    // One polygon's corner indices on one line, separated by spaces; inSet indents it
    // one level deeper, as the lines of a set are.
    void IndexLine(const unsigned int* indices, int32_t count, bool inSet);
    // One line of the weights section: the file's bone index and the weight.
    void WeightLine(uint32_t bone, float weight);
    // Closes the open section and the mesh.
    void EndMesh();

    // --- Primitives -----------------------------------------------------------------
    void WriteText(const char* text);
    void WriteText(const brix::UString& text);
    // A name that goes between double quotes. The format has no escape for a double
    // quote, so each one in the name is written as '_', and the first time a name is
    // changed so a warning says what it became.
    void WriteName(const brix::UString& name);
    // The decimal digits of the value.
    void WriteUnsigned(uint32_t value);
    // One to four reals, each as printf's "%.4f" prints it widened to double, separated
    // by single spaces.
    void WriteReals(const float* values, int count);
    void WriteReals(float a) { WriteReals(&a, 1); }

    // Formats one real as "%.4f" into out (room for kMaxRealText bytes); returns the
    // length. Exact for every float: the longest takes 46 characters.
    static constexpr int kMaxRealText = 64;
    static int FormatReal(float value, char* out);

    // Formats one real as the shortest fixed-notation text (no exponent) that the rig
    // reader reads back as the same float, into out (room for kMaxExactRealText bytes,
    // NUL-terminated); returns the length. A value that is not finite is formatted as
    // FormatReal formats it.
    static constexpr int kMaxExactRealText = 80;
    static int FormatExactReal(float value, char* out);

    // --- Precision of the bind matrices -------------------------------------------
    // Content tools often bind rigs in centimetres with a scale of 100, so an inverse
    // bind matrix can hold entries such as 0.01 or 7e-5 that four decimals round away.
    // A bone keeps four decimals when its matrix, read back as the rig reader reads it
    // and inverted, still can be inverted and gives a head (row 3) within
    // kBoneTolerance * rigSize of world's and each axis (rows 0 to 2) within
    // kBoneTolerance of that axis's own length of world's.
    static constexpr double kBoneTolerance = 1e-5;
    static bool FourDecimalsKeepBone(const float rows[4][4], const float world[4][4], float rigSize);
    // The rig's size from the bones' bind-time world matrices, known before any mesh is
    // read: the larger of the diagonal of the box around their heads and the longest of
    // their axes; 1 when both are 0. Values that are not finite are passed over.
    static float RigSize(const brix::TMatrix4<float>* worlds, int32_t count);

    // --- Values a rig file cannot carry -------------------------------------------
    // A real that is not finite ("nan", "inf") is written as "%.4f" spells it, but no
    // reader can take it back as the value it was, so the writer notes the first one:
    // the record ("bone" or "mesh" and its name) and the key it stood under. The export
    // asks after each record and fails instead of handing over such a file.
    bool WroteNonFinite() const { return m_nonFinite; }
    const char* NonFiniteRecordKind() const { return m_nonFiniteKind; }
    const brix::UString& NonFiniteRecordName() const { return m_nonFiniteName; }
    const char* NonFiniteKey() const { return m_nonFiniteKey; }

private:
    // The gathered section lines: room for the next line of up to `need` bytes (the
    // lines before it are handed over first when it would not fit), the end of a line
    // composed there, and handing them all over.
    static constexpr int kLineBuffer = 16384;
    char* LineRoom(int need) {
        if (m_buffered + need > kLineBuffer) FlushLines();
        return m_lines + m_buffered;
    }
    void EndLine(const char* end) { m_buffered = int(end - m_lines); }
    void FlushLines();
    // One to four reals formatted by format, separated by single spaces, as one write.
    void WriteRealsWith(const float* values, int count, int (*format)(float, char*));
    // The same text into out (room for count * (kMaxExactRealText + 1) bytes); returns
    // its length. Notes a value that is not finite.
    int FormatReals(const float* values, int count, int (*format)(float, char*), char* out);
    // Opens a bone or mesh record and writes its name line.
    void BeginRecord(const char* kind, uint32_t index, const brix::UString& name);
    void NoteNonFinite();

    brix::IOutputStream& m_stream;
    brix::UArray<brix::UString> m_changedNames;
    // A mesh section is open: the next section or the mesh's end closes it first.
    bool m_sectionOpen = false;
    // The record and key being written, and where the first non-finite real stood.
    const char* m_recordKind = "";
    brix::UString m_recordName;
    const char* m_key = "";
    bool m_nonFinite = false;
    const char* m_nonFiniteKind = "";
    brix::UString m_nonFiniteName;
    const char* m_nonFiniteKey = "";
    int m_buffered = 0;
    char m_lines[kLineBuffer];
};
