using System;
using System.Diagnostics;
using System.IO;
using System.Text;
using System.Text.RegularExpressions;
using NUnit.Framework;

namespace Korvanelle.Tests
{
    // One sample server on a free loopback port for every test of the assembly, serving a
    // copy of examples/data with one more patient, ExtraPatientId, whose modality has fields
    // of its own and whose name is only in its first study (the sample patients have neither).
    // KORVANELLE_SERVER, KORVANELLE_CLI and KORVANELLE_LIB name the programs and the library
    // under test; KORVANELLE_ROOT the source tree (examples/data, CMakeLists.txt).
    [SetUpFixture]
    public class SampleServer
    {
        public const string ExtraPatientId = "T20001";

        private static Process s_server;
        private static string s_served;

        public static int Port { get; private set; }

        public static string Root
        {
            get { return Required("KORVANELLE_ROOT"); }
        }

        public static string Data
        {
            get { return Path.Combine(Root, "examples", "data"); }
        }

        [SetUp]
        public void Start()
        {
            s_served = Path.Combine(Path.GetTempPath(), "korvanelle-dotnet-" + Guid.NewGuid().ToString("N"));
            foreach (string folder in new[] { "patients", "thumbs", "images" })
            {
                Directory.CreateDirectory(Path.Combine(s_served, folder));
                foreach (string file in Directory.GetFiles(Path.Combine(Data, folder)))
                {
                    File.Copy(file, Path.Combine(Path.Combine(s_served, folder), Path.GetFileName(file)));
                }
            }
            File.WriteAllBytes(Path.Combine(Path.Combine(s_served, "patients"), ExtraPatientId + ".xml"),
                Encoding.GetEncoding(936).GetBytes(ExtraPatient));
            var start = new ProcessStartInfo(Required("KORVANELLE_SERVER"),
                "--data \"" + s_served + "\" --port 0");
            start.UseShellExecute = false;
            start.RedirectStandardOutput = true;
            start.RedirectStandardError = true;  // its log of every request: read and dropped
            s_server = Process.Start(start);
            s_server.ErrorDataReceived += (sender, ignored) => { };
            s_server.BeginErrorReadLine();
            string line = s_server.StandardOutput.ReadLine() ?? "";
            Match match = Regex.Match(line.Trim(), @"^listening on .*:(\d+)$");
            if (!match.Success)
            {
                s_server.Kill();
                throw new InvalidOperationException("the sample server did not start: " + line);
            }
            Port = int.Parse(match.Groups[1].Value);
        }

        [TearDown]
        public void Stop()
        {
            if (s_server != null && !s_server.HasExited)
            {
                s_server.Kill();
                s_server.WaitForExit();
            }
            if (s_served != null)
            {
                Directory.Delete(s_served, true);
            }
        }

        private const string ExtraPatient =
            "<?xml version=\"1.0\" encoding=\"GB2312\"?>\n<ROOT>\n  <Patient Name=\"\u8D75\u516D\" ID=\"T20001\">\n"
            + "    <Modality Name=\"CT\">\n      <Fields>\n"
            + "        <Text><Field FieldName=\"\u8BBE\u5907\" FieldValue=\"CT-2 &quot;\u4E1C\u9662&quot; &amp; \u4E8C\u697C\"/></Text>\n"
            + "        <Image><Field FieldName=\"\u5B9A\u4F4D\u50CF\" FieldValue=\"P10001_CT_1_1.png\"/></Image>\n"
            + "      </Fields>\n      <Study Name=\"\u590D\u67E5\">\n"
            + "        <Fields><Text><Field FieldName=\"\u59D3\u540D\" FieldValue=\"\u8D75\u516D\"/></Text></Fields>\n"
            + "      </Study>\n    </Modality>\n  </Patient>\n</ROOT>\n";

        public static string Required(string name)
        {
            string value = Environment.GetEnvironmentVariable(name);
            if (string.IsNullOrEmpty(value))
            {
                throw new InvalidOperationException(name + " is not set (scripts/test-dotnet.sh sets it)");
            }
            return value;
        }
    }
}
