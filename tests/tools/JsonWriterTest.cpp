#include <gtest/gtest.h>

#include "JsonValue.h"
#include "JsonWriter.h"
#include "PatientFormat.h"

using korv::cli::CJsonWriter;
using korv::cli::FieldRecord;
using korv::cli::NodeRecord;
using korv::cli::PatientRecord;
using korv::test::CJsonValue;

namespace {

TEST(JsonWriterTest, EscapesEverythingJsonRequires)
{
    EXPECT_EQ(CJsonWriter::Quote("a\"b\\c"), "\"a\\\"b\\\\c\"");
    EXPECT_EQ(CJsonWriter::Quote("\n\t\r\b\f"), "\"\\n\\t\\r\\b\\f\"");
    EXPECT_EQ(CJsonWriter::Quote(std::string("\x01\x1f\x7f", 3)), "\"\\u0001\\u001f\\u007f\"");
    EXPECT_EQ(CJsonWriter::Quote("\xe5\xbc\xa0"), "\"\xe5\xbc\xa0\"");
}

TEST(JsonWriterTest, NestedContainersParseBack)
{
    const std::string tricky = std::string("<&\"\\\x02\n>\xe4\xb8\xad", 10);
    CJsonWriter json;
    json.BeginObject();
    json.Key("empty");
    json.BeginArray();
    json.EndArray();
    json.Key(tricky);
    json.BeginArray();
    json.String(tricky);
    json.BeginObject();
    json.EndObject();
    json.String("");
    json.EndArray();
    json.EndObject();
    const auto parsed = CJsonValue::Parse(json.Text());
    ASSERT_TRUE(parsed) << json.Text();
    EXPECT_EQ((*parsed)["empty"].Size(), 0u);
    const CJsonValue& list = (*parsed)[tricky];
    ASSERT_EQ(list.Size(), 3u);
    EXPECT_EQ(list.Items()[0].Str(), tricky);
    EXPECT_EQ(list.Items()[1].GetKind(), CJsonValue::Kind::Object);
    EXPECT_EQ(list.Items()[2].Str(), "");
}

PatientRecord SamplePatient()
{
    PatientRecord patient;
    patient.id = "P1";
    patient.name = "\xe5\xbc\xa0\xe4\xbc\x9f";
    NodeRecord ct{"CT", {}, {}};
    ct.children.push_back(NodeRecord{"Head \"plain\"",
                                     {FieldRecord{"Finding", "a < b & c\nline", "", false},
                                      FieldRecord{"Image 1", "img1.png", "img1.png", true}},
                                     {}});
    patient.modalities.push_back(ct);
    patient.modalities.push_back(NodeRecord{"MR", {FieldRecord{"Own", "x", "x", false}}, {}});
    return patient;
}

TEST(PatientFormatTest, JsonHoldsTheWholeDocument)
{
    const auto parsed = CJsonValue::Parse(korv::cli::FormatPatientJson(SamplePatient()));
    ASSERT_TRUE(parsed);
    EXPECT_EQ((*parsed)["id"].Str(), "P1");
    EXPECT_EQ((*parsed)["name"].Str(), "\xe5\xbc\xa0\xe4\xbc\x9f");
    const auto& modalities = (*parsed)["modalities"].Items();
    ASSERT_EQ(modalities.size(), 2u);
    EXPECT_EQ(modalities[0]["name"].Str(), "CT");
    const CJsonValue& study = modalities[0]["studies"].Items().at(0);
    EXPECT_EQ(study["name"].Str(), "Head \"plain\"");
    ASSERT_EQ(study["fields"].Size(), 2u);
    EXPECT_EQ(study["fields"].Items()[0]["value"].Str(), "a < b & c\nline");
    EXPECT_EQ(study["fields"].Items()[0]["type"].Str(), "text");
    EXPECT_EQ(study["fields"].Items()[1]["type"].Str(), "image");
    EXPECT_EQ(modalities[1]["fields"].Items().at(0)["name"].Str(), "Own");
    EXPECT_EQ(modalities[1]["studies"].Size(), 0u);
}

TEST(PatientFormatTest, TreeShowsEveryLevelWithoutControlCharacters)
{
    const std::string tree = korv::cli::FormatPatientTree(SamplePatient());
    EXPECT_NE(tree.find("Patient P1: \xe5\xbc\xa0\xe4\xbc\x9f\n"), std::string::npos) << tree;
    EXPECT_NE(tree.find("  Modality CT\n"), std::string::npos) << tree;
    EXPECT_NE(tree.find("    Study Head \"plain\"\n"), std::string::npos) << tree;
    EXPECT_NE(tree.find("      Finding: a < b & c line\n"), std::string::npos) << tree;
    EXPECT_NE(tree.find("      Image 1: img1.png  [image]\n"), std::string::npos) << tree;
    EXPECT_NE(tree.find("    Own: x\n"), std::string::npos) << tree;
}

}  // namespace
