namespace Korvanelle
{
    // No complete reply for PatientId within the library's 10 s. The library may still load
    // the late reply: open the patient again before reading anything.
    public sealed class KorvanelleTimeoutException : KorvanelleException
    {
        internal KorvanelleTimeoutException(string patientId)
            : base("no reply for patient " + patientId + " within 10 s")
        {
            PatientId = patientId;
        }

        public string PatientId { get; private set; }
    }
}
