namespace Korvanelle
{
    // The thumbnail or image called Name was not supplied: the server has no such name, or
    // no answer came in time (5 s for a thumbnail, 10 s for an image).
    public sealed class ImageNotAvailableException : KorvanelleException
    {
        private readonly byte[] _rawName;

        internal ImageNotAvailableException(string name, byte[] rawName, bool thumbnail)
            : base((thumbnail ? "thumbnail " : "image ") + name + " not available")
        {
            Name = name;
            _rawName = rawName;
            IsThumbnail = thumbnail;
        }

        public string Name { get; private set; }

        // The name as sent: code page 936 bytes without the NUL.
        public byte[] RawName
        {
            get { return (byte[])_rawName.Clone(); }
        }

        public bool IsThumbnail { get; private set; }
    }
}
