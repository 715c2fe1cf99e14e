using System;
using System.Collections.Generic;
using System.IO;
using System.Text;

namespace Korvanelle
{
    // Before the first call: a process of one width cannot load the library of the other,
    // and the runtime's own error for that (BadImageFormatException, DllNotFoundException)
    // does not say which file to pick instead. On Windows the DLL the loader will take is
    // compared with the process width up front (the loader takes the first
    // KorvanelleClient.dll it finds, of either width). On Linux the loader skips libraries
    // of the other ELF class on its own, so the files are only looked at when loading failed,
    // to say why.
    internal static class LibraryCheck
    {
        internal const string WindowsFile = "KorvanelleClient.dll";
        internal const string LinuxFile = "libKorvanelleClient.so.1";

        private static bool s_checked;

        // Runs once per process; the caller holds the binding's lock.
        internal static void EnsureLoadable()
        {
            if (s_checked)
            {
                return;
            }
            int processBits = IntPtr.Size * 8;
            bool windows = Environment.OSVersion.Platform == PlatformID.Win32NT;
            if (windows)
            {
                string dll = WindowsCandidate();
                string problem = dll == null ? null : Mismatch(dll, PeBits(ReadHead(dll)), processBits, true);
                if (problem != null)
                {
                    throw new KorvanelleLibraryException(problem, null);
                }
            }
            try
            {
                // Binds the library; harmless: 0 at once when not connected, a count otherwise.
                NativeMethods.GetModalityCount();
            }
            catch (DllNotFoundException error)
            {
                throw new KorvanelleLibraryException(Explain(windows, processBits, error), error);
            }
            catch (BadImageFormatException error)
            {
                throw new KorvanelleLibraryException(Explain(windows, processBits, error), error);
            }
            catch (EntryPointNotFoundException error)
            {
                throw new KorvanelleLibraryException(
                    "the KorvanelleClient library found lacks its exports: " + error.Message, error);
            }
            s_checked = true;
        }

        // 32 or 64 for a Windows PE image of x86 or x86-64/ARM64 code, 0 for anything else.
        internal static int PeBits(byte[] head)
        {
            if (head == null || head.Length < 0x40 || head[0] != 'M' || head[1] != 'Z')
            {
                return 0;
            }
            int pe = BitConverter.ToInt32(head, 0x3C);
            if (pe < 0 || pe > head.Length - 6 || head[pe] != 'P' || head[pe + 1] != 'E'
                || head[pe + 2] != 0 || head[pe + 3] != 0)
            {
                return 0;
            }
            int machine = head[pe + 4] | (head[pe + 5] << 8);
            switch (machine)
            {
                case 0x014C: return 32;  // IMAGE_FILE_MACHINE_I386
                case 0x8664: return 64;  // IMAGE_FILE_MACHINE_AMD64
                case 0xAA64: return 64;  // IMAGE_FILE_MACHINE_ARM64
                default: return 0;
            }
        }

        // 32 or 64 from an ELF file's class byte, 0 for anything else.
        internal static int ElfBits(byte[] head)
        {
            if (head == null || head.Length < 5 || head[0] != 0x7F || head[1] != 'E'
                || head[2] != 'L' || head[3] != 'F')
            {
                return 0;
            }
            return head[4] == 1 ? 32 : head[4] == 2 ? 64 : 0;
        }

        // The message for a library of the other width, or null when the widths agree or
        // the file's width is unknown (then the loader's own verdict stands).
        internal static string Mismatch(string path, int fileBits, int processBits, bool windows)
        {
            if (fileBits == 0 || fileBits == processBits)
            {
                return null;
            }
            string text = string.Format("{0} is a {1}-bit library but this process is {2}-bit: ",
                path, fileBits, processBits);
            if (windows)
            {
                return text + (processBits == 64
                    ? "use the 64-bit KorvanelleClient.dll of build/win64 (or build the host for x86)"
                    : "use the 32-bit KorvanelleClient.dll of build/win32 (or build the host for x64)");
            }
            return text + "install the " + processBits + "-bit build of " + LinuxFile;
        }

        internal static byte[] ReadHead(string path)
        {
            try
            {
                using (var file = File.OpenRead(path))
                {
                    var head = new byte[4096];
                    int length = 0;
                    int read;
                    while (length < head.Length && (read = file.Read(head, length, head.Length - length)) > 0)
                    {
                        length += read;
                    }
                    Array.Resize(ref head, length);
                    return head;
                }
            }
            catch (IOException)
            {
                return null;
            }
            catch (UnauthorizedAccessException)
            {
                return null;
            }
        }

        private static string Explain(bool windows, int processBits, Exception error)
        {
            foreach (string path in windows ? WindowsCandidates() : LinuxCandidates())
            {
                byte[] head = ReadHead(path);
                string problem = Mismatch(path, windows ? PeBits(head) : ElfBits(head), processBits, windows);
                if (problem != null)
                {
                    return problem;
                }
            }
            return "cannot load the KorvanelleClient library (" + (windows ? WindowsFile : LinuxFile)
                + "): " + error.Message + (windows
                    ? "; put the DLL of build/win" + processBits + " next to the program"
                    : "; install it or name its folder in LD_LIBRARY_PATH");
        }

        // The first file the Windows loader will take: the program's folder, then the search path.
        private static string WindowsCandidate()
        {
            foreach (string path in WindowsCandidates())
            {
                return path;
            }
            return null;
        }

        private static IEnumerable<string> WindowsCandidates()
        {
            string local = Path.Combine(AppDomain.CurrentDomain.BaseDirectory, WindowsFile);
            if (File.Exists(local))
            {
                yield return local;
            }
            var found = new StringBuilder(1024);
            IntPtr filePart;
            if (Kernel32.SearchPathW(null, WindowsFile, null, found.Capacity, found, out filePart) > 0)
            {
                yield return found.ToString();
            }
        }

        private static IEnumerable<string> LinuxCandidates()
        {
            var folders = new List<string>();
            folders.Add(Path.GetDirectoryName(typeof(LibraryCheck).Assembly.Location));
            string paths = Environment.GetEnvironmentVariable("LD_LIBRARY_PATH");
            if (!string.IsNullOrEmpty(paths))
            {
                folders.AddRange(paths.Split(':'));
            }
            folders.AddRange(new[] { "/usr/local/lib", "/usr/lib", "/lib" });
            foreach (string folder in folders)
            {
                string path = string.IsNullOrEmpty(folder) ? null : Path.Combine(folder, LinuxFile);
                if (path != null && File.Exists(path))
                {
                    yield return path;
                }
            }
        }
    }
}
