using System.Collections.Generic;
using System.Collections.ObjectModel;

namespace Korvanelle
{
    // A modality (a top-level node of the document): a name, its own fields and studies.
    public sealed class Modality
    {
        private readonly byte[] _rawName;

        internal Modality(byte[] rawName, IList<Field> fields, IList<Study> studies)
        {
            _rawName = rawName;
            Name = CodePage936.Decode(rawName);
            Fields = new ReadOnlyCollection<Field>(fields);
            Studies = new ReadOnlyCollection<Study>(studies);
        }

        public string Name { get; private set; }

        public byte[] RawName
        {
            get { return (byte[])_rawName.Clone(); }
        }

        public ReadOnlyCollection<Field> Fields { get; private set; }

        public ReadOnlyCollection<Study> Studies { get; private set; }

        public override string ToString()
        {
            return Name;
        }
    }
}
