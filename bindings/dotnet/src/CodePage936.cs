using System;
using System.Reflection;
using System.Text;

namespace Korvanelle
{
    // The library's texts are code page 936 bytes whatever the host's locale. Decoding
    // replaces what is not code page 936; encoding refuses what cannot be written in it,
    // so a name is never sent altered (an altered identifier could name another patient).
    internal static class CodePage936
    {
        private static readonly object s_lock = new object();
        private static Encoding s_encoding;

        internal static Encoding Encoding
        {
            get
            {
                lock (s_lock)
                {
                    if (s_encoding == null)
                    {
                        s_encoding = Load();
                    }
                    return s_encoding;
                }
            }
        }

        internal static string Decode(byte[] raw)
        {
            return Encoding.GetString(raw);
        }

        // text as code page 936 bytes followed by the NUL the library expects.
        internal static byte[] Argument(string text, string what)
        {
            if (text == null)
            {
                throw new ArgumentNullException(what);
            }
            byte[] raw = Encoding.GetBytes(text);
            // Runtimes differ in how they honour encoder fallbacks: a round trip is the test.
            if (Decode(raw) != text)
            {
                throw new ArgumentException(
                    what + " \"" + text + "\" cannot be written in code page 936", what);
            }
            return Terminated(raw, what);
        }

        // raw followed by a NUL; a NUL inside would cut the text short in the library.
        internal static byte[] Terminated(byte[] raw, string what)
        {
            if (raw == null)
            {
                throw new ArgumentNullException(what);
            }
            if (Array.IndexOf(raw, (byte)0) >= 0)
            {
                throw new ArgumentException(what + " contains a NUL byte", what);
            }
            byte[] terminated = new byte[raw.Length + 1];
            Buffer.BlockCopy(raw, 0, terminated, 0, raw.Length);
            return terminated;
        }

        private static Encoding Load()
        {
            RegisterCodePagesProvider();
            try
            {
                return Encoding.GetEncoding(936);
            }
            catch (NotSupportedException error)
            {
                throw Unavailable(error);
            }
            catch (ArgumentException error)
            {
                throw Unavailable(error);
            }
        }

        private static KorvanelleException Unavailable(Exception error)
        {
            return new KorvanelleException(
                "code page 936 is not available in this runtime: under Mono install the I18N "
                + "CJK assemblies (Debian: libmono-i18n-cjk4.0-cil); on .NET Core and later "
                + "reference System.Text.Encoding.CodePages", error);
        }

        // .NET Core and later know code page 936 only through CodePagesEncodingProvider;
        // found by name so that this assembly builds and runs where it does not exist.
        private static void RegisterCodePagesProvider()
        {
            Type provider = Type.GetType(
                "System.Text.CodePagesEncodingProvider, System.Text.Encoding.CodePages", false);
            MethodInfo register = typeof(Encoding).GetMethod("RegisterProvider");
            PropertyInfo instance = provider == null ? null : provider.GetProperty("Instance");
            if (register != null && instance != null)
            {
                register.Invoke(null, new[] { instance.GetValue(null, null) });
            }
        }
    }
}
