#pragma once

// The loader as a plain navigator walk (tag by ChildName, attributes by AttributeName index by
// index, values by AttributeValue, fields by FindChild over "Fields" and its groups): the
// reference that the one-pass loader is held to, by LoaderDifferentialTest and the loader
// fuzzer.
#include <memory>
#include <string>
#include <vector>

#include "PatientDocTestAccess.h"
#include "document/PatientDoc.h"
#include "markup/XmlDoc.h"

namespace navigator_walk {

// The reference: the navigator walk, one navigator query per attribute and field.
inline void ReferenceStartTag(CXmlDoc& nav, CInfoNode& node)
{
    node.SetTag(nav.ChildName());
    nav.EnterElement();
    for (int i = 0;; ++i) {
        std::string strName = nav.AttributeName(i);
        if (strName.empty()) {
            break;
        }
        std::string strValue = nav.AttributeValue(strName.c_str());
        if (strName == "Name") {
            node.SetName(strValue);
        }
        node.AddAttr(strName, strValue);
    }
}

inline void ReferenceFields(CXmlDoc& nav, CInfoNode& node)
{
    nav.EnterElement();
    while (nav.FindChild()) {
        const std::int32_t nType = nav.ChildName() == "Image" ? FIELD_IMAGE : FIELD_TEXT;
        nav.EnterElement();
        while (nav.FindChild()) {
            nav.EnterElement();
            std::string strName = nav.AttributeValue("FieldName");
            if (!strName.empty()) {
                node.AddField(nType, strName, nav.AttributeValue("FieldValue"));
            }
            nav.LeaveElement();
        }
        nav.LeaveElement();
    }
}

// Returns whether a document was built; the tree goes into doc (an empty root when none).
inline bool NavigatorWalkLoad(const std::string& text, CPatientDoc& doc)
{
    CXmlDoc nav;
    nav.LoadText(text.c_str());
    auto pRoot = std::make_unique<CInfoNode>();
    bool bBuilt = false;
    if (nav.FindElement("ROOT") && nav.FindChild()) {
        bBuilt = true;
        ReferenceStartTag(nav, *pRoot);
        std::vector<CInfoNode*> open{pRoot.get()};
        while (!open.empty()) {
            if (!nav.FindChild()) {
                open.pop_back();
                if (!open.empty()) {
                    nav.LeaveElement();
                }
            } else if (nav.ChildName() == "Fields") {
                ReferenceFields(nav, *open.back());
                nav.LeaveElement();
            } else {
                CInfoNode& child = open.back()->AddChild();
                ReferenceStartTag(nav, child);
                open.push_back(&child);
            }
        }
    }
    CPatientDocTestAccess::SetRoot(doc, std::move(pRoot));
    return bBuilt;
}

}  // namespace navigator_walk

using navigator_walk::NavigatorWalkLoad;
