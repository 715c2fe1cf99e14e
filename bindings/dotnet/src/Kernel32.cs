using System;
using System.Runtime.InteropServices;
using System.Text;

namespace Korvanelle
{
    // What LibraryCheck needs of Windows to find the DLL the loader will take.
    internal static class Kernel32
    {
        [DllImport("kernel32.dll", CharSet = CharSet.Unicode, ExactSpelling = true, SetLastError = true)]
        internal static extern int SearchPathW(string path, string fileName, string extension,
            int bufferLength, StringBuilder buffer, out IntPtr filePart);
    }
}
