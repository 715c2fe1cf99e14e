using System;
using System.IO;
using NUnit.Framework;

namespace Korvanelle.Tests
{
    // The width check's verdicts on the headers of both kinds, and its message.
    [TestFixture]
    public class LibraryCheckTests
    {
        private static byte[] Pe(ushort machine)
        {
            var head = new byte[0x100];
            head[0] = (byte)'M';
            head[1] = (byte)'Z';
            head[0x3C] = 0x80;
            head[0x80] = (byte)'P';
            head[0x81] = (byte)'E';
            head[0x84] = (byte)machine;
            head[0x85] = (byte)(machine >> 8);
            return head;
        }

        [Test]
        public void PortableExecutableWidths()
        {
            Assert.AreEqual(32, LibraryCheck.PeBits(Pe(0x014C)));
            Assert.AreEqual(64, LibraryCheck.PeBits(Pe(0x8664)));
            Assert.AreEqual(0, LibraryCheck.PeBits(Pe(0x01C4)));  // ARMv7: neither build
            // A signature at the very end of what was read, its machine type past it.
            byte[] cut = Pe(0x014C);
            cut[0x3C] = 0xFC;
            cut[0xFC] = (byte)'P';
            cut[0xFD] = (byte)'E';
            Assert.AreEqual(0, LibraryCheck.PeBits(cut));
            byte[] negative = Pe(0x014C);
            negative[0x3F] = 0x80;
            Assert.AreEqual(0, LibraryCheck.PeBits(negative));
            Assert.AreEqual(0, LibraryCheck.PeBits(new byte[] { (byte)'M', (byte)'Z' }));
        }

        [Test]
        public void ElfWidthsAndTheLibraryUnderTest()
        {
            Assert.AreEqual(32, LibraryCheck.ElfBits(new byte[] { 0x7F, (byte)'E', (byte)'L', (byte)'F', 1 }));
            Assert.AreEqual(0, LibraryCheck.ElfBits(new byte[] { 0x7F, (byte)'E', (byte)'L', (byte)'F', 3 }));
            string library = SampleServer.Required("KORVANELLE_LIB");
            Assert.AreEqual(IntPtr.Size * 8, LibraryCheck.ElfBits(LibraryCheck.ReadHead(library)));
        }

        [Test]
        public void MismatchNamesTheDllToUse()
        {
            StringAssert.Contains("build/win64",
                LibraryCheck.Mismatch(@"C:\app\KorvanelleClient.dll", 32, 64, true));
            StringAssert.Contains("build/win32",
                LibraryCheck.Mismatch(@"C:\app\KorvanelleClient.dll", 64, 32, true));
            StringAssert.Contains("64-bit build", LibraryCheck.Mismatch("/opt/lib/x.so.1", 32, 64, false));
            Assert.IsNull(LibraryCheck.Mismatch("same", 64, 64, true));
            Assert.IsNull(LibraryCheck.Mismatch("unknown", 0, 32, true));
        }
    }
}
