// Loads arbitrary text as a patient document and runs every query over every handle it
// hands out, plus handles it never handed out.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "document/PatientDoc.h"

namespace {

void Check(bool condition)
{
    if (!condition)
        __builtin_trap();
}

// A count is never negative, and an index outside it designates nothing.
void QueryField(const CPatientDoc& doc, FieldID field, bool handedOut)
{
    (void)doc.GetFieldName(field);
    (void)doc.GetFieldData(field);
    const std::int32_t type = doc.GetFieldType(field);
    if (handedOut)
        Check(type == FIELD_TEXT || type == FIELD_IMAGE);
}

void QueryStudy(const CPatientDoc& doc, StudyID study, std::vector<std::uintptr_t>& seen)
{
    (void)doc.GetStudyName(study);
    const std::int32_t fields = doc.GetFieldCount(study);
    Check(fields >= 0);
    for (std::int32_t i = 0; i < fields && i < 4096; ++i) {
        const FieldID field = doc.GetFieldID(study, i);
        Check(field != 0);
        QueryField(doc, field, true);
        seen.push_back(field);
    }
    Check(doc.GetFieldID(study, fields) == 0);
    Check(doc.GetFieldID(study, -1) == 0);
}

void QueryModality(const CPatientDoc& doc, ModID mod, std::vector<std::uintptr_t>& seen, int depth)
{
    (void)doc.GetModName(mod);
    const std::int32_t studies = doc.GetStudyCount(mod);
    Check(studies >= 0);
    for (std::int32_t i = 0; i < studies && i < 4096; ++i) {
        const StudyID study = doc.GetStudyID(mod, i);
        Check(study != 0);
        seen.push_back(study);
        QueryStudy(doc, study, seen);
        // Nodes below a study answer the same queries.
        if (depth < 3)
            QueryModality(doc, study, seen, depth + 1);
    }
    Check(doc.GetStudyID(mod, studies) == 0);
    Check(doc.GetStudyID(mod, -1) == 0);
    // A modality may stand in for a study: its own fields.
    QueryStudy(doc, mod, seen);
}

std::vector<std::uintptr_t> WalkAll(const CPatientDoc& doc)
{
    std::vector<std::uintptr_t> seen;
    (void)doc.GetPatientName();
    const std::int32_t mods = doc.GetModalityCount();
    Check(mods >= 0);
    for (std::int32_t i = 0; i < mods && i < 4096; ++i) {
        const ModID mod = doc.GetModID(i);
        Check(mod != 0);
        seen.push_back(mod);
        QueryModality(doc, mod, seen, 0);
    }
    Check(doc.GetModID(mods) == 0);
    Check(doc.GetModID(-1) == 0);
    return seen;
}

// Handles that belong to no node of doc: nearby values, values of another document.
void QueryForeign(const CPatientDoc& doc, const std::vector<std::uintptr_t>& handles)
{
    for (std::uintptr_t handle : handles) {
        for (std::uintptr_t probe : {handle, handle + 1, handle - 1, handle + 8, ~handle}) {
            (void)doc.GetModName(probe);
            (void)doc.GetStudyCount(probe);
            (void)doc.GetStudyID(probe, 0);
            (void)doc.GetStudyName(probe);
            (void)doc.GetFieldCount(probe);
            (void)doc.GetFieldID(probe, 0);
            QueryField(doc, probe, false);
        }
    }
    for (std::uintptr_t probe : {std::uintptr_t{0}, std::uintptr_t{1}, ~std::uintptr_t{0},
                                 reinterpret_cast<std::uintptr_t>(&doc)}) {
        (void)doc.GetModName(probe);
        (void)doc.GetStudyCount(probe);
        (void)doc.GetFieldCount(probe);
        QueryField(doc, probe, false);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);

    CPatientDoc doc;
    (void)doc.Load(text.c_str());
    const std::vector<std::uintptr_t> handles = WalkAll(doc);
    QueryForeign(doc, handles);

    // Words of the input as handles: values a caller might pass blindly.
    std::vector<std::uintptr_t> words;
    for (std::size_t at = 0; at + sizeof(std::uintptr_t) <= size && words.size() < 16;
         at += sizeof(std::uintptr_t)) {
        std::uintptr_t word = 0;
        std::memcpy(&word, data + at, sizeof word);
        words.push_back(word);
    }
    QueryForeign(doc, words);

    // A second load replaces the tree: the first tree's handles designate nothing now
    // unless the same text built the same shape again.
    CPatientDoc other;
    (void)other.Load("<ROOT><Patient Name=\"x\"><Modality Name=\"CT\"/></Patient></ROOT>");
    QueryForeign(doc, WalkAll(other));
    QueryForeign(other, handles);

    (void)doc.Load(text.c_str());
    const std::vector<std::uintptr_t> again = WalkAll(doc);
    Check(again.size() == handles.size());
    QueryForeign(doc, handles);
    doc.Free();
    Check(doc.GetModalityCount() == 0);
    QueryForeign(doc, handles);
    return 0;
}
