#pragma once

#include <cstddef>
#include <memory>

#include "document/BuildBudget.h"
#include "document/DocBuilder.h"
#include "document/InfoNode.h"
#include "markup/MarkupParser.h"

class CPatientDoc;

// Builds a patient document from its text while the text arrives, in order, in parts: each
// part received so far is parsed and built as far as its last whole tag, and the whole text
// finishes the build. The tree, the verdict and what a rejected text leaves are those of
// CPatientDoc::Load on the whole text, which is this with no part before Finish. The parts
// must be prefixes of the whole text (the same bytes, wherever they lie); the caller starts a
// new load for any other text.
class CPatientDocLoad {
public:
    // mostBytes: the most the whole text can hold (a reply's declared total). The tree is
    // built under that text's limit until the text is whole, and held to its own then.
    explicit CPatientDocLoad(std::size_t mostBytes);
    ~CPatientDocLoad();
    CPatientDocLoad(const CPatientDocLoad&) = delete;
    CPatientDocLoad& operator=(const CPatientDocLoad&) = delete;

    // text[0, length) is the part received so far and text[length] a NUL. Builds what it can;
    // a part whose tree has reached its own share of the budget waits for more text, so the
    // memory taken stays in proportion to the text received.
    void ReadOn(const char* text, std::size_t length);

    // The whole NUL-terminated text. As CPatientDoc::Load: an empty text leaves doc as it is
    // and gives false; otherwise doc takes the tree, or an empty root when the text built
    // nothing (false).
    bool Finish(const char* pszText, CPatientDoc& doc);

private:
    std::unique_ptr<CInfoNode> m_pRoot;
    CBuildBudget m_budget;
    CDocBuilder m_builder;
    CMarkupParse<CDocBuilder> m_parse;
    std::size_t m_nNulFreeBytes = 0;  // text bytes looked at and found to hold no NUL
    bool m_bTextEnded = false;        // a NUL came before the part's end: the text ends there
    bool m_bOutOfMemory = false;
};
