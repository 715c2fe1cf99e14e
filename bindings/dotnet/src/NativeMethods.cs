using System;
using System.Runtime.InteropServices;

namespace Korvanelle
{
    // The seventeen exports of KorvanelleClient, declared as include/KorvanelleClient.h
    // declares them (the configure checks this list against the header). Texts travel as
    // code page 936 bytes, NUL-terminated on the way in: string marshalling would convert
    // them through the process's ANSI code page. Handles are uintptr_t, hence UIntPtr.
    // Under Mono "KorvanelleClient" is mapped to libKorvanelleClient.so.1 by the dllmap in
    // Korvanelle.Client.dll.config; on Windows it is KorvanelleClient.dll.
    internal static class NativeMethods
    {
        [DllImport("KorvanelleClient", CallingConvention = CallingConvention.Cdecl)]
        internal static extern int Connect([In] byte[] host, int port);

        [DllImport("KorvanelleClient", CallingConvention = CallingConvention.Cdecl)]
        internal static extern void Disconnect();

        [DllImport("KorvanelleClient", CallingConvention = CallingConvention.Cdecl)]
        internal static extern int OpenPatient([In] byte[] patientId);

        [DllImport("KorvanelleClient", CallingConvention = CallingConvention.Cdecl)]
        internal static extern int GetPatientName([Out] byte[] buffer, ref uint size);

        [DllImport("KorvanelleClient", CallingConvention = CallingConvention.Cdecl)]
        internal static extern int GetModalityCount();

        [DllImport("KorvanelleClient", CallingConvention = CallingConvention.Cdecl)]
        internal static extern UIntPtr GetModID(int index);

        [DllImport("KorvanelleClient", CallingConvention = CallingConvention.Cdecl)]
        internal static extern int GetModName(UIntPtr mod, [Out] byte[] buffer, ref uint size);

        [DllImport("KorvanelleClient", CallingConvention = CallingConvention.Cdecl)]
        internal static extern int GetStudyCount(UIntPtr mod);

        [DllImport("KorvanelleClient", CallingConvention = CallingConvention.Cdecl)]
        internal static extern UIntPtr GetStudyID(UIntPtr mod, int index);

        [DllImport("KorvanelleClient", CallingConvention = CallingConvention.Cdecl)]
        internal static extern int GetStudyName(UIntPtr study, [Out] byte[] buffer, ref uint size);

        [DllImport("KorvanelleClient", CallingConvention = CallingConvention.Cdecl)]
        internal static extern int GetFieldCount(UIntPtr study);

        [DllImport("KorvanelleClient", CallingConvention = CallingConvention.Cdecl)]
        internal static extern UIntPtr GetFieldID(UIntPtr study, int index);

        [DllImport("KorvanelleClient", CallingConvention = CallingConvention.Cdecl)]
        internal static extern int GetFieldName(UIntPtr field, [Out] byte[] buffer, ref uint size);

        [DllImport("KorvanelleClient", CallingConvention = CallingConvention.Cdecl)]
        internal static extern int GetFieldType(UIntPtr field);

        [DllImport("KorvanelleClient", CallingConvention = CallingConvention.Cdecl)]
        internal static extern int GetFieldData(UIntPtr field, [Out] byte[] buffer, ref uint size);

        [DllImport("KorvanelleClient", CallingConvention = CallingConvention.Cdecl)]
        internal static extern int GetThumbData([In] byte[] name, [Out] byte[] buffer, ref uint size);

        [DllImport("KorvanelleClient", CallingConvention = CallingConvention.Cdecl)]
        internal static extern int GetImageData([In] byte[] name, [Out] byte[] buffer, ref uint size);
    }
}
