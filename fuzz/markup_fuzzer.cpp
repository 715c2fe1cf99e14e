// Parses arbitrary text and walks it with every navigation operation.
#include <cstddef>
#include <cstdint>
#include <string>

#include "markup/XmlDoc.h"

namespace {

// Bounded so that a navigation bug that never stops shows up as a timeout, not a slow input.
constexpr int kMaxSteps = 4096;

void Check(bool condition)
{
    if (!condition)
        __builtin_trap();
}

// Every index the window holds must be an element in use (or 0).
void CheckWindow(const CXmlDoc& doc)
{
    for (std::int32_t index : {doc.ParentIndex(), doc.CurrentIndex(), doc.ChildIndex()})
        Check(index == 0 ||
              (index > 0 && index < doc.UsedEntries() && doc.EntryAt(index) != nullptr));
}

void TouchAttributes(const CXmlDoc& doc)
{
    for (int i = -1; i < 64; ++i) {
        const std::string name = doc.AttributeName(i);
        if (i < 0)
            Check(name.empty());
        if (name.empty() && i >= 0)
            break;
        (void)doc.AttributeValue(name.c_str());
    }
    (void)doc.AttributeValue(nullptr);
    (void)doc.AttributeValue("");
    (void)doc.AttributeValue("Name");
    (void)doc.ChildName();
}

// Depth-first over the whole document, through the window.
void Walk(CXmlDoc& doc, int& steps, int depth)
{
    while (doc.FindChild() && ++steps < kMaxSteps) {
        (void)doc.ChildName();
        if (!doc.EnterElement())
            return;
        CheckWindow(doc);
        TouchAttributes(doc);
        if (depth < 64)
            Walk(doc, steps, depth + 1);
        Check(doc.LeaveElement());
        CheckWindow(doc);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // The first byte picks a name to search for; the rest is the text.
    const std::string text(reinterpret_cast<const char*>(data), size);
    CXmlDoc doc;
    const bool loaded = doc.LoadText(text.c_str());
    CheckWindow(doc);
    Check(loaded || !doc.ErrorText().empty());

    int steps = 0;
    while (doc.FindElement() && ++steps < kMaxSteps) {
        CheckWindow(doc);
        TouchAttributes(doc);
        Walk(doc, steps, 0);
        (void)doc.FindChild("Field");
        (void)doc.FindChild("");
    }
    // Foreign moves on whatever state the walk left behind.
    (void)doc.LeaveElement();
    (void)doc.LeaveElement();
    (void)doc.EnterElement();
    CheckWindow(doc);
    (void)doc.FindElement("ROOT");
    (void)doc.FindElement("");
    CheckWindow(doc);

    // Reloading the same object must not depend on the previous text.
    const bool again = doc.LoadText(text.c_str());
    Check(again == loaded);
    Check(doc.ParentIndex() == 0 && doc.CurrentIndex() == 0 && doc.ChildIndex() == 0);
    (void)doc.LoadText(nullptr);
    return 0;
}
