#pragma once

#include <cstddef>
#include <string>

// Synthetic patient documents in the server's shape: a patient with its own "Fields", then
// "Modality" elements with "Study" children, each study holding "Text" and "Image" field
// groups. Names are code page 936 text and some values carry entities. The output depends
// only on the arguments.
class CDocGenerator {
public:
    // Studies are added until the text reaches at least `bytes`.
    static std::string BySize(std::size_t bytes);
    // The patient's own fields plus as many whole studies as fit in `fields`.
    static std::string ByFieldCount(int fields);

    // Attribute-dense: no indentation, studies of kDenseFieldsPerStudy fields, every field an
    // element with FieldName / FieldValue (code page 936 names, entities in most values),
    // studies and modalities with several attributes. Until the text reaches `bytes`.
    static std::string Dense(std::size_t bytes);
    // One element under the patient with `attributes` attributes (entities in some values).
    static std::string WideElement(int attributes);
    // The shape that costs the most tree per byte that a server plausibly sends: modalities
    // that carry only a name, `<Modality Name="m"/>`, until the text reaches `bytes`.
    static std::string NameOnlySiblings(std::size_t bytes);

    // Fields per study and on the patient, for sizing walks.
    static constexpr int kFieldsPerStudy = 5;
    static constexpr int kPatientFields = 4;
    static constexpr int kDenseFieldsPerStudy = 20;
};
