using System;
using System.Diagnostics;

namespace Korvanelle
{
    // The process's connection to the server (the library allows one per process).
    //
    //     using (var client = KorvanelleClient.Connect("127.0.0.1", 7770))
    //     {
    //         Patient patient = client.OpenPatient("P10001");
    //         byte[] png = client.GetImage(patient.ImageFields().First());
    //     }
    //
    // Thread-safe: the library's calls must never overlap, so every call sequence of every
    // client holds one lock for the whole process; a second thread waits for the first.
    // Every method blocks up to the library's time-out (see include/KorvanelleClient.h).
    public sealed class KorvanelleClient : IDisposable
    {
        private static readonly object s_calls = new object();
        private static KorvanelleClient s_connected;

        // Connect's own time-out; a failure that took about this long was a time-out.
        private const long ConnectTimeoutMs = 10000;

        // Written under the lock; read without it by IsConnected.
        private volatile bool _connected;

        private KorvanelleClient(string host, int port)
        {
            Host = host;
            Port = port;
            _connected = true;
        }

        public string Host { get; private set; }

        public int Port { get; private set; }

        // False once disposed. The library does not notice a server that has gone: then
        // calls time out, and Dispose and Connect again recover.
        public bool IsConnected
        {
            get { return _connected; }
        }

        // Connects to host (a name or a dotted IPv4 address) and TCP port; waits up to 10 s.
        // KorvanelleConnectException when the library refuses, times out, or a connection
        // of this process is still open; KorvanelleLibraryException when the native library
        // cannot be loaded (its message says which file to use).
        public static KorvanelleClient Connect(string host, int port)
        {
            byte[] rawHost = CodePage936.Argument(host, "host");
            lock (s_calls)
            {
                LibraryCheck.EnsureLoadable();
                Stopwatch watch = Stopwatch.StartNew();
                if (NativeMethods.Connect(rawHost, port) != 0)
                {
                    s_connected = new KorvanelleClient(host, port);
                    return s_connected;
                }
                ConnectFailure reason = s_connected != null ? ConnectFailure.AlreadyConnected
                    : watch.ElapsedMilliseconds >= ConnectTimeoutMs - 500 ? ConnectFailure.TimedOut
                    : ConnectFailure.Refused;
                throw new KorvanelleConnectException(host, port, reason);
            }
        }

        // Disconnects; safe to call twice. Blocks up to 10 s while the library closes.
        public void Dispose()
        {
            lock (s_calls)
            {
                if (!_connected)
                {
                    return;
                }
                _connected = false;
                if (s_connected == this)
                {
                    s_connected = null;
                }
                NativeMethods.Disconnect();
            }
        }

        // Loads the patient (waits up to 10 s) and returns a copy of the document.
        // PatientNotFoundException: the reply held no usable document.
        // KorvanelleTimeoutException: no reply within 10 s.
        public Patient OpenPatient(string patientId)
        {
            return OpenPatient(CodePage936.Argument(patientId, "patientId"), patientId);
        }

        // The identifier as code page 936 bytes, sent as they are.
        public Patient OpenPatient(byte[] rawPatientId)
        {
            byte[] raw = CodePage936.Terminated(rawPatientId, "rawPatientId");
            return OpenPatient(raw, CodePage936.Decode(rawPatientId));
        }

        // The thumbnail's bytes (waits up to 5 s); ImageNotAvailableException when the
        // server has none of that name.
        public byte[] GetThumbnail(string name)
        {
            return Fetch(CodePage936.Argument(name, "name"), true);
        }

        public byte[] GetThumbnail(Field field)
        {
            return Fetch(FieldName(field), true);
        }

        // The image's bytes (waits up to 10 s; a name the server does not have costs the
        // full 10 s); ImageNotAvailableException when it does not come.
        public byte[] GetImage(string name)
        {
            return Fetch(CodePage936.Argument(name, "name"), false);
        }

        public byte[] GetImage(Field field)
        {
            return Fetch(FieldName(field), false);
        }

        private Patient OpenPatient(byte[] raw, string patientId)
        {
            lock (s_calls)
            {
                CheckConnected();
                if (NativeMethods.OpenPatient(raw) == 0)
                {
                    throw new KorvanelleTimeoutException(patientId);
                }
                Patient patient = DocumentReader.Read(patientId);
                if (patient.RawName.Length == 0 && patient.Modalities.Count == 0)
                {
                    throw new PatientNotFoundException(patientId);
                }
                return patient;
            }
        }

        private static byte[] FieldName(Field field)
        {
            if (field == null)
            {
                throw new ArgumentNullException("field");
            }
            return CodePage936.Terminated(field.RawValue, "field");
        }

        // The two-call byte protocol: the first call fetches and tells the size, the second
        // is answered from the library's copy of the same name.
        private byte[] Fetch(byte[] terminatedName, bool thumbnail)
        {
            lock (s_calls)
            {
                CheckConnected();
                uint size = 0;
                if (Call(thumbnail, terminatedName, null, ref size) == 0)
                {
                    throw NotAvailable(terminatedName, thumbnail);
                }
                var bytes = new byte[size];
                if (size == 0)
                {
                    return bytes;
                }
                if (Call(thumbnail, terminatedName, bytes, ref size) == 0)
                {
                    throw NotAvailable(terminatedName, thumbnail);
                }
                if (size < bytes.Length)
                {
                    Array.Resize(ref bytes, (int)size);
                }
                return bytes;
            }
        }

        private static int Call(bool thumbnail, byte[] name, byte[] buffer, ref uint size)
        {
            return thumbnail ? NativeMethods.GetThumbData(name, buffer, ref size)
                             : NativeMethods.GetImageData(name, buffer, ref size);
        }

        private static ImageNotAvailableException NotAvailable(byte[] terminatedName, bool thumbnail)
        {
            var raw = new byte[terminatedName.Length - 1];
            Buffer.BlockCopy(terminatedName, 0, raw, 0, raw.Length);
            return new ImageNotAvailableException(CodePage936.Decode(raw), raw, thumbnail);
        }

        private void CheckConnected()
        {
            if (!_connected)
            {
                throw new ObjectDisposedException("KorvanelleClient", "the client was disposed");
            }
        }
    }
}
