using System;
using System.Net;
using System.Net.Sockets;
using System.Text.RegularExpressions;
using System.IO;
using NUnit.Framework;

namespace Korvanelle.Tests
{
    // Each failure of the library as its exception, carrying what was asked; the connection
    // stays usable after each, and a disposed client refuses.
    [TestFixture]
    public class FailureTests
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

        [Test]
        public void MissingPatientThumbnailAndImage()
        {
            var patient = Assert.Throws<PatientNotFoundException>(() => _client.OpenPatient("NOBODY"));
            Assert.AreEqual("NOBODY", patient.PatientId);

            var thumb = Assert.Throws<ImageNotAvailableException>(() => _client.GetThumbnail("no-such.png"));
            Assert.AreEqual("no-such.png", thumb.Name);
            Assert.IsTrue(thumb.IsThumbnail);
            // The server's "no such image" ends nothing: this costs the library's 10 s.
            var image = Assert.Throws<ImageNotAvailableException>(() => _client.GetImage("P10001_XX_9_9.png"));
            Assert.AreEqual("P10001_XX_9_9.png", image.Name);
            Assert.IsFalse(image.IsThumbnail);

            Assert.AreEqual("\u674E\u5A1C", _client.OpenPatient("P10002").Name);
        }

        [Test]
        public void TextsTheLibraryCannotTakeAreRefusedBeforeAnythingIsSent()
        {
            // Outside code page 936, or cut short by a NUL: either would ask for another name.
            Assert.Throws<ArgumentException>(() => _client.OpenPatient("P1000\U0001F600"));
            Assert.Throws<ArgumentException>(() => _client.OpenPatient("P10001\0P10002"));
            Assert.Throws<ArgumentException>(() => _client.GetThumbnail("P10001_CT_1_1.png\0x"));
            Assert.Throws<ArgumentNullException>(() => _client.OpenPatient((string)null));
            Assert.AreEqual("\u5F20\u4F1F", _client.OpenPatient("P10001").Name);
        }

        [Test]
        public void OneConnectionPerProcess()
        {
            var refused = Assert.Throws<KorvanelleConnectException>(
                () => KorvanelleClient.Connect("127.0.0.1", SampleServer.Port));
            Assert.AreEqual(ConnectFailure.AlreadyConnected, refused.Reason);
            StringAssert.Contains("\u8FDE\u63A5\u672A\u5173\u95ED", refused.LibraryText);
            Assert.IsTrue(_client.IsConnected);
            Assert.AreEqual("\u5F20\u4F1F", _client.OpenPatient("P10001").Name);
        }

        [Test]
        public void DisposeTwiceThenEveryCallRefuses()
        {
            _client.Dispose();
            _client.Dispose();
            Assert.IsFalse(_client.IsConnected);
            Assert.Throws<ObjectDisposedException>(() => _client.OpenPatient("P10001"));
            Assert.Throws<ObjectDisposedException>(() => _client.GetImage("P10001_CT_1_1.png"));
            Assert.Throws<ObjectDisposedException>(() => _client.GetThumbnail("P10001_CT_1_1.png"));
            // The process's one connection is free again.
            using (var again = KorvanelleClient.Connect("127.0.0.1", SampleServer.Port))
            {
                Assert.AreEqual("\u5F20\u4F1F", again.OpenPatient("P10001").Name);
            }
        }
    }

    [TestFixture]
    public class ConnectTests
    {
        [Test]
        public void RefusedConnectionCarriesWhatWasAsked()
        {
            var probe = new TcpListener(IPAddress.Loopback, 0);  // a port on which nothing listens
            probe.Start();
            int port = ((IPEndPoint)probe.LocalEndpoint).Port;
            probe.Stop();
            var refused = Assert.Throws<KorvanelleConnectException>(() => KorvanelleClient.Connect("127.0.0.1", port));
            Assert.AreEqual("127.0.0.1", refused.Host);
            Assert.AreEqual(port, refused.Port);
            Assert.AreEqual(ConnectFailure.Refused, refused.Reason);
            Assert.AreEqual("(KorvanelleClient.dll)Error:\u8FDE\u63A5\u5931\u8D25", refused.LibraryText);
        }

        [Test]
        public void AssemblyVersionIsTheLibraryVersion()
        {
            string cmake = File.ReadAllText(Path.Combine(SampleServer.Root, "CMakeLists.txt"));
            string version = Regex.Match(cmake, @"project\(KorvanelleClient VERSION ([0-9.]+)").Groups[1].Value;
            Assert.AreEqual(version, typeof(KorvanelleClient).Assembly.GetName().Version.ToString());
        }
    }
}
