using System.Collections.Generic;
using System.Collections.ObjectModel;

namespace Korvanelle
{
    // A study of a modality: a name and fields.
    public sealed class Study
    {
        private readonly byte[] _rawName;

        internal Study(byte[] rawName, IList<Field> fields)
        {
            _rawName = rawName;
            Name = CodePage936.Decode(rawName);
            Fields = new ReadOnlyCollection<Field>(fields);
        }

        public string Name { get; private set; }

        public byte[] RawName
        {
            get { return (byte[])_rawName.Clone(); }
        }

        public ReadOnlyCollection<Field> Fields { get; private set; }

        public override string ToString()
        {
            return Name;
        }
    }
}
