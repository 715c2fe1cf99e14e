using System.Collections.Generic;
using System.Diagnostics;
using System.IO;
using System.Runtime.Serialization;
using System.Runtime.Serialization.Json;
using System.Text;

namespace Korvanelle.Tests
{
    // What `korvanelle show ID --json` prints, read independently of the binding, and a
    // Patient of the binding, both flattened to the same lines for a readable comparison.
    public static class CliPatient
    {
        [DataContract]
        private class JsonField
        {
            [DataMember(Name = "name")] public string Name = null;
            [DataMember(Name = "type")] public string Type = null;
            [DataMember(Name = "value")] public string Value = null;
        }

        [DataContract]
        private class JsonNode
        {
            [DataMember(Name = "name")] public string Name = null;
            [DataMember(Name = "fields")] public List<JsonField> Fields = null;
            [DataMember(Name = "studies")] public List<JsonNode> Studies = null;
        }

        [DataContract]
        private class JsonPatient
        {
            [DataMember(Name = "id")] public string Id = null;
            [DataMember(Name = "name")] public string Name = null;
            [DataMember(Name = "modalities")] public List<JsonNode> Modalities = null;
        }

        public static List<string> Show(string patientId)
        {
            var start = new ProcessStartInfo(SampleServer.Required("KORVANELLE_CLI"),
                "--port=" + SampleServer.Port + " show " + patientId + " --json");
            start.UseShellExecute = false;
            start.RedirectStandardOutput = true;
            start.EnvironmentVariables["KORVANELLE_LIB"] = SampleServer.Required("KORVANELLE_LIB");
            var output = new MemoryStream();
            using (Process cli = Process.Start(start))
            {
                cli.StandardOutput.BaseStream.CopyTo(output);
                cli.WaitForExit();
                if (cli.ExitCode != 0)
                {
                    throw new IOException("korvanelle show " + patientId + " exited with " + cli.ExitCode);
                }
            }
            output.Position = 0;
            var patient = (JsonPatient)new DataContractJsonSerializer(typeof(JsonPatient)).ReadObject(output);
            var lines = new List<string> { "patient " + patient.Id + " " + patient.Name };
            foreach (JsonNode modality in patient.Modalities)
            {
                lines.Add("modality " + modality.Name);
                AddFields(lines, modality.Fields);
                foreach (JsonNode study in modality.Studies)
                {
                    lines.Add("study " + study.Name);
                    AddFields(lines, study.Fields);
                }
            }
            return lines;
        }

        public static List<string> Lines(Patient patient)
        {
            var lines = new List<string> { "patient " + patient.Id + " " + patient.Name };
            foreach (Modality modality in patient.Modalities)
            {
                lines.Add("modality " + modality.Name);
                AddFields(lines, modality.Fields);
                foreach (Study study in modality.Studies)
                {
                    lines.Add("study " + study.Name);
                    AddFields(lines, study.Fields);
                }
            }
            return lines;
        }

        private static void AddFields(List<string> lines, IEnumerable<JsonField> fields)
        {
            foreach (JsonField field in fields)
            {
                lines.Add("field " + field.Type + " " + field.Name + " = " + field.Value);
            }
        }

        private static void AddFields(List<string> lines, IEnumerable<Field> fields)
        {
            foreach (Field field in fields)
            {
                string type = field.Type == FieldType.Image ? "image" : field.Type == FieldType.Text ? "text" : "type " + field.RawType;
                lines.Add("field " + type + " " + field.Name + " = " + field.Value);
            }
        }
    }
}
