namespace Korvanelle
{
    // One field of a modality or a study. Raw* keep the library's code page 936 bytes; an
    // image field's RawValue is the name to fetch its thumbnail and image by.
    public sealed class Field
    {
        private readonly byte[] _rawName;
        private readonly byte[] _rawValue;

        internal Field(byte[] rawName, byte[] rawValue, int rawType)
        {
            _rawName = rawName;
            _rawValue = rawValue;
            RawType = rawType;
            Name = CodePage936.Decode(rawName);
            Value = CodePage936.Decode(rawValue);
        }

        public string Name { get; private set; }

        public string Value { get; private set; }

        public FieldType Type
        {
            get { return (FieldType)RawType; }
        }

        // What GetFieldType returned, also when it is neither Text nor Image.
        public int RawType { get; private set; }

        public bool IsImage
        {
            get { return RawType == (int)FieldType.Image; }
        }

        public byte[] RawName
        {
            get { return (byte[])_rawName.Clone(); }
        }

        public byte[] RawValue
        {
            get { return (byte[])_rawValue.Clone(); }
        }

        public override string ToString()
        {
            return Name + " = " + Value + (IsImage ? " [image]" : "");
        }
    }
}
