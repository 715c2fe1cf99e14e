using System;
using System.Collections.Generic;
using System.IO;
using System.Linq;
using System.Text;
using NUnit.Framework;

namespace Korvanelle.Tests
{
    // The walk and the bytes against the sample server: what the command-line host reads
    // through the same library, the sample files themselves, and the decoded texts.
    [TestFixture]
    public class PatientTests
    {
        private KorvanelleClient _client;

        [SetUp]
        public void Connect()
        {
            _client = KorvanelleClient.Connect("127.0.0.1", SampleServer.Port);
        }

        [TearDown]
        public void Disconnect()
        {
            _client.Dispose();
        }

        [TestCase("P10001")]
        [TestCase("P10002")]
        [TestCase("P10005")]
        [TestCase(SampleServer.ExtraPatientId)]
        public void TreeIsWhatTheCommandLineHostShows(string patientId)
        {
            Patient patient = _client.OpenPatient(patientId);
            CollectionAssert.AreEqual(CliPatient.Show(patientId), CliPatient.Lines(patient));
        }

        [Test]
        public void ChineseTextsAreDecodedFromCodePage936()
        {
            Patient patient = _client.OpenPatient("P10001");
            // The sample data's name of P10001 (scripts/make-sample-data.py), and its bytes.
            Assert.AreEqual("\u5F20\u4F1F", patient.Name);
            CollectionAssert.AreEqual(new byte[] { 0xD5, 0xC5, 0xCE, 0xB0 }, patient.RawName);
            Study study = patient.Modalities[0].Studies[0];
            Assert.AreEqual("\u5934\u9885\u5E73\u626B 2023-03-14", study.Name);
            Field image = study.Fields.First(f => f.IsImage);
            Assert.AreEqual("\u56FE\u50CF1", image.Name);
            Assert.AreEqual(FieldType.Image, image.Type);
            Assert.AreEqual(FieldType.Text, study.Fields[0].Type);
            // Raw bytes are the code page 936 form of the decoded text.
            CollectionAssert.AreEqual(Encoding.GetEncoding(936).GetBytes(study.Name), study.RawName);

            // A name found in the first study; a modality's own fields, an image among them.
            Patient extra = _client.OpenPatient(SampleServer.ExtraPatientId);
            Assert.AreEqual("\u8D75\u516D", extra.Name);
            Assert.AreEqual("CT-2 \"\u4E1C\u9662\" & \u4E8C\u697C", extra.Modalities[0].Fields[0].Value);
            Assert.AreEqual("P10001_CT_1_1.png", extra.ImageFields().Single().Value);
        }

        [Test]
        public void EveryImageAndThumbnailIsTheServedFile()
        {
            int checkedFields = 0;
            foreach (string file in Directory.GetFiles(Path.Combine(SampleServer.Data, "patients"), "*.xml"))
            {
                Patient patient = _client.OpenPatient(Path.GetFileNameWithoutExtension(file));
                foreach (Field field in patient.ImageFields())
                {
                    CollectionAssert.AreEqual(Served("images", field.Value), _client.GetImage(field), field.Value);
                    CollectionAssert.AreEqual(Served("thumbs", field.Value), _client.GetThumbnail(field.Value), field.Value);
                    ++checkedFields;
                }
            }
            Assert.AreEqual(Directory.GetFiles(Path.Combine(SampleServer.Data, "images")).Length, checkedFields);
        }

        [Test]
        public void RawIdentifierIsSentAsItIs()
        {
            Patient patient = _client.OpenPatient(Encoding.ASCII.GetBytes("P10002"));
            Assert.AreEqual("P10002", patient.Id);
            Assert.AreEqual("\u674E\u5A1C", patient.Name);
        }

        [Test]
        public void TwoThreadsEachGetTheirOwnPatient()
        {
            var failures = new List<string>();
            var threads = new[] { "P10001", "P10002" }.Select(id => new System.Threading.Thread(() =>
            {
                string expected = id == "P10001" ? "\u5F20\u4F1F" : "\u674E\u5A1C";
                string failure = null;
                try
                {
                    for (int i = 0; i < 20 && failure == null; ++i)
                    {
                        Patient patient = _client.OpenPatient(id);
                        Field first = patient.ImageFields().First();
                        if (patient.Name != expected || !_client.GetImage(first).SequenceEqual(Served("images", first.Value)))
                        {
                            failure = id + " read as " + patient.Name + ", image " + first.Value;
                        }
                    }
                }
                catch (Exception error)
                {
                    failure = id + ": " + error.Message;
                }
                if (failure != null)
                {
                    lock (failures)
                    {
                        failures.Add(failure);
                    }
                }
            })).ToList();
            threads.ForEach(t => t.Start());
            threads.ForEach(t => t.Join());
            CollectionAssert.IsEmpty(failures);
        }

        private static byte[] Served(string folder, string name)
        {
            return File.ReadAllBytes(Path.Combine(Path.Combine(SampleServer.Data, folder), name));
        }
    }
}
