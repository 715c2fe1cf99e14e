namespace Korvanelle
{
    // The server answered with no usable document for PatientId (no name, no modalities).
    public sealed class PatientNotFoundException : KorvanelleException
    {
        internal PatientNotFoundException(string patientId)
            : base("patient " + patientId + " not found")
        {
            PatientId = patientId;
        }

        public string PatientId { get; private set; }
    }
}
