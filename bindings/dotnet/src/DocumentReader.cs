using System;
using System.Collections.Generic;

namespace Korvanelle
{
    // Copies the library's current document into a Patient through the twelve getters.
    // The caller holds the binding's lock, so no other call can run in between.
    internal static class DocumentReader
    {
        private delegate int TextGetter(UIntPtr handle, byte[] buffer, ref uint size);

        internal static Patient Read(string patientId)
        {
            var modalities = new List<Modality>();
            int count = NativeMethods.GetModalityCount();
            for (int m = 0; m < count; ++m)
            {
                UIntPtr mod = NativeMethods.GetModID(m);
                var studies = new List<Study>();
                int studyCount = NativeMethods.GetStudyCount(mod);
                for (int s = 0; s < studyCount; ++s)
                {
                    UIntPtr study = NativeMethods.GetStudyID(mod, s);
                    studies.Add(new Study(Text(NativeMethods.GetStudyName, study), Fields(study)));
                }
                modalities.Add(new Modality(Text(NativeMethods.GetModName, mod), Fields(mod), studies));
            }
            byte[] name = Text(
                (UIntPtr unused, byte[] buffer, ref uint size) => NativeMethods.GetPatientName(buffer, ref size),
                UIntPtr.Zero);
            return new Patient(patientId, name, modalities);
        }

        private static List<Field> Fields(UIntPtr node)
        {
            var fields = new List<Field>();
            int count = NativeMethods.GetFieldCount(node);
            for (int i = 0; i < count; ++i)
            {
                UIntPtr field = NativeMethods.GetFieldID(node, i);
                fields.Add(new Field(Text(NativeMethods.GetFieldName, field),
                    Text(NativeMethods.GetFieldData, field), NativeMethods.GetFieldType(field)));
            }
            return fields;
        }

        // The two-call text protocol: the size with the NUL, then the text; without the NUL.
        private static byte[] Text(TextGetter getter, UIntPtr handle)
        {
            uint size = 0;
            if (getter(handle, null, ref size) == 0 || size == 0)
            {
                return new byte[0];
            }
            var buffer = new byte[size];
            if (getter(handle, buffer, ref size) == 0 || size == 0)
            {
                return new byte[0];
            }
            var text = new byte[size - 1];
            Buffer.BlockCopy(buffer, 0, text, 0, text.Length);
            return text;
        }
    }
}
