using System;

namespace Korvanelle
{
    // The base of every exception the binding throws for a failure the library reports.
    public class KorvanelleException : Exception
    {
        public KorvanelleException(string message)
            : base(message)
        {
        }

        public KorvanelleException(string message, Exception inner)
            : base(message, inner)
        {
        }
    }
}
