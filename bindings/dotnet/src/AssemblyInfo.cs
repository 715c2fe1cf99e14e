using System.Reflection;
using System.Runtime.CompilerServices;

// The library's version (CMakeLists.txt); the tests check that they agree.
[assembly: AssemblyTitle("Korvanelle.Client")]
[assembly: AssemblyDescription(".NET binding of the KorvanelleClient library")]
[assembly: AssemblyVersion("1.0.0.1")]
[assembly: AssemblyFileVersion("1.0.0.1")]
[assembly: InternalsVisibleTo("Korvanelle.Client.Tests")]
