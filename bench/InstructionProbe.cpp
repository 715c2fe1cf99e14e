// korv-bench-instructions: one operation, five times, on one generated 1 MB document, inside
// RunMeasured alone, so that an instruction count can be taken of just that:
//   valgrind --tool=callgrind --toggle-collect=RunMeasured korv-bench-instructions OP SHAPE
// OP: load (CPatientDoc::Load), loadtext (CXmlDoc::LoadText), pugixml (its default parse),
// none. SHAPE: studies, dense, name-only. Instructions per byte are the collected count
// divided by 5 times the byte count it prints. The count does not move with the machine's
// load, as a time does.
#include <cstdio>
#include <cstring>
#include <string>

#include <pugixml.hpp>

#include "DocGenerator.h"
#include "document/PatientDoc.h"
#include "markup/XmlDoc.h"

namespace {

constexpr int kRepeats = 5;

__attribute__((noinline)) bool RunMeasured(const char* op, const std::string& text)
{
    bool ok = true;
    if (std::strcmp(op, "load") == 0) {
        CPatientDoc doc;
        for (int i = 0; i < kRepeats; ++i) {
            ok = doc.Load(text.c_str()) && doc.GetModalityCount() > 0 && ok;
        }
    } else if (std::strcmp(op, "loadtext") == 0) {
        CXmlDoc doc;
        for (int i = 0; i < kRepeats; ++i) {
            ok = doc.LoadText(text.c_str()) && ok;
        }
    } else if (std::strcmp(op, "pugixml") == 0) {
        pugi::xml_document doc;
        for (int i = 0; i < kRepeats; ++i) {
            ok = doc.load_buffer(text.data(), text.size()) && ok;
        }
    }
    return ok;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s load|loadtext|pugixml|none studies|dense|name-only\n",
                     argv[0]);
        return 2;
    }
    const std::size_t size = 1024 * 1024;
    const std::string shape = argv[2];
    const std::string text = shape == "dense"       ? CDocGenerator::Dense(size)
                             : shape == "name-only" ? CDocGenerator::NameOnlySiblings(size)
                                                    : CDocGenerator::BySize(size);
    const bool ok = RunMeasured(argv[1], text);
    std::printf("%s %s bytes=%zu repeats=%d %s\n", argv[1], shape.c_str(), text.size(), kRepeats,
                ok ? "ok" : "FAILED");
    return ok ? 0 : 1;
}
