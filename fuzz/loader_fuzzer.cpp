// Loads arbitrary text twice, with the one-pass loader (CPatientDoc::Load) and with the plain
// navigator walk over CXmlDoc, and stops at the first difference between the two: the
// verdict, the tree node by node (tag, name, attributes, fields), and every getter on every
// handle, the two trees walked by position side by side.
#include <cstddef>
#include <cstdint>
#include <string>

#include "NavigatorWalkLoad.h"
#include "document/PatientDoc.h"

namespace {

void Check(bool condition)
{
    if (!condition)
        __builtin_trap();
}

template <typename List, typename Same>
void CheckSameList(const List& a, const List& b, Same&& same)
{
    Check(a.Count() == b.Count());
    for (auto *pa = a.Head(), *pb = b.Head(); pa != nullptr || pb != nullptr;
         pa = pa->Next(), pb = pb->Next()) {
        Check(pa != nullptr && pb != nullptr);
        same(pa->Value(), pb->Value());
    }
}

void CheckSameTree(const CInfoNode& a, const CInfoNode& b)
{
    Check(a.Tag() == b.Tag());
    Check(a.Name() == b.Name());
    Check(a.Attrs().Count() == b.Attrs().Count());
    for (auto ia = a.Attrs().begin(), ib = b.Attrs().begin(); ia != a.Attrs().end(); ++ia, ++ib) {
        Check(ia->m_strAttrName == ib->m_strAttrName);
        Check(ia->m_strAttrValue == ib->m_strAttrValue);
    }
    CheckSameList(a.Fields(), b.Fields(), [](const CInfoField& x, const CInfoField& y) {
        Check(x.m_nType == y.m_nType);
        Check(x.m_strFieldName == y.m_strFieldName);
        Check(x.m_strFieldValue == y.m_strFieldValue);
    });
    CheckSameList(a.Children(), b.Children(),
                  [](const CNodeRef& x, const CNodeRef& y) { CheckSameTree(*x, *y); });
}

void CheckSameNode(const CPatientDoc& ours, std::uintptr_t a, const CPatientDoc& reference,
                   std::uintptr_t b, int depth)
{
    Check(ours.GetModName(a) == reference.GetModName(b));
    Check(ours.GetStudyName(a) == reference.GetStudyName(b));
    const std::int32_t fields = ours.GetFieldCount(a);
    Check(fields == reference.GetFieldCount(b));
    for (std::int32_t f = -1; f <= fields && f < 4096; ++f) {
        const FieldID fa = ours.GetFieldID(a, f);
        const FieldID fb = reference.GetFieldID(b, f);
        Check((fa == 0) == (fb == 0));
        Check(ours.GetFieldName(fa) == reference.GetFieldName(fb));
        Check(ours.GetFieldType(fa) == reference.GetFieldType(fb));
        Check(ours.GetFieldData(fa) == reference.GetFieldData(fb));
    }
    const std::int32_t studies = ours.GetStudyCount(a);
    Check(studies == reference.GetStudyCount(b));
    for (std::int32_t s = -1; s <= studies && s < 4096; ++s) {
        const StudyID sa = ours.GetStudyID(a, s);
        const StudyID sb = reference.GetStudyID(b, s);
        Check((sa == 0) == (sb == 0));
        if (sa != 0 && depth < 16) {
            CheckSameNode(ours, sa, reference, sb, depth + 1);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    CPatientDoc ours;
    CPatientDoc reference;
    const bool bBuilt = ours.Load(text.c_str());
    // Text that ends at its first NUL is what both loaders read.
    const bool bReference = NavigatorWalkLoad(text.c_str(), reference);
    if (text.c_str()[0] == '\0') {
        // Null or empty text builds nothing and leaves no tree.
        Check(!bBuilt && ours.Root() == nullptr);
        return 0;
    }
    Check(bBuilt == bReference);
    Check(ours.Root() != nullptr && reference.Root() != nullptr);
    CheckSameTree(*ours.Root(), *reference.Root());
    Check(ours.GetPatientName() == reference.GetPatientName());
    const std::int32_t mods = ours.GetModalityCount();
    Check(mods == reference.GetModalityCount());
    for (std::int32_t m = -1; m <= mods && m < 4096; ++m) {
        const ModID ma = ours.GetModID(m);
        const ModID mb = reference.GetModID(m);
        Check((ma == 0) == (mb == 0));
        if (ma != 0) {
            CheckSameNode(ours, ma, reference, mb, 0);
        }
    }
    return 0;
}
