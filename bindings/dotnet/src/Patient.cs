using System.Collections.Generic;
using System.Collections.ObjectModel;

namespace Korvanelle
{
    // A patient's document as read right after OpenPatient: a copy, not live handles, so
    // it stays valid whatever the library loads later.
    public sealed class Patient
    {
        private readonly byte[] _rawName;

        internal Patient(string id, byte[] rawName, IList<Modality> modalities)
        {
            Id = id;
            _rawName = rawName;
            Name = CodePage936.Decode(rawName);
            Modalities = new ReadOnlyCollection<Modality>(modalities);
        }

        // The identifier that was asked for.
        public string Id { get; private set; }

        public string Name { get; private set; }

        public byte[] RawName
        {
            get { return (byte[])_rawName.Clone(); }
        }

        public ReadOnlyCollection<Modality> Modalities { get; private set; }

        // Every image field, a modality's own before its studies', in document order.
        public IEnumerable<Field> ImageFields()
        {
            foreach (Modality modality in Modalities)
            {
                foreach (Field field in modality.Fields)
                {
                    if (field.IsImage)
                    {
                        yield return field;
                    }
                }
                foreach (Study study in modality.Studies)
                {
                    foreach (Field field in study.Fields)
                    {
                        if (field.IsImage)
                        {
                            yield return field;
                        }
                    }
                }
            }
        }

        public override string ToString()
        {
            return "Patient " + Id + ": " + Name;
        }
    }
}
