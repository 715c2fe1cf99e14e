using System;

namespace Korvanelle
{
    // The native library cannot be used: not found, of the other width, or lacking exports.
    public sealed class KorvanelleLibraryException : KorvanelleException
    {
        internal KorvanelleLibraryException(string message, Exception inner)
            : base(message, inner)
        {
        }
    }
}
