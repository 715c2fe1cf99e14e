using System;
using System.Diagnostics;
using System.IO;
using System.Text.RegularExpressions;
using NUnit.Framework;

namespace Korvanelle.Tests
{
    // One sample server on a free loopback port for every test of the assembly.
    // KORVANELLE_SERVER, KORVANELLE_CLI and KORVANELLE_LIB name the programs and the library
    // under test; KORVANELLE_ROOT the source tree (examples/data, CMakeLists.txt).
    [SetUpFixture]
    public class SampleServer
    {
        private static Process s_server;

        public static int Port { get; private set; }

        public static string Root
        {
            get { return Required("KORVANELLE_ROOT"); }
        }

        public static string Data
        {
            get { return Path.Combine(Root, "examples", "data"); }
        }

        [SetUp]
        public void Start()
        {
            var start = new ProcessStartInfo(Required("KORVANELLE_SERVER"),
                "--data \"" + Data + "\" --port 0");
            start.UseShellExecute = false;
            start.RedirectStandardOutput = true;
            start.RedirectStandardError = true;  // its log of every request: read and dropped
            s_server = Process.Start(start);
            s_server.ErrorDataReceived += (sender, ignored) => { };
            s_server.BeginErrorReadLine();
            string line = s_server.StandardOutput.ReadLine() ?? "";
            Match match = Regex.Match(line.Trim(), @"^listening on .*:(\d+)$");
            if (!match.Success)
            {
                s_server.Kill();
                throw new InvalidOperationException("the sample server did not start: " + line);
            }
            Port = int.Parse(match.Groups[1].Value);
        }

        [TearDown]
        public void Stop()
        {
            if (s_server != null && !s_server.HasExited)
            {
                s_server.Kill();
                s_server.WaitForExit();
            }
        }

        public static string Required(string name)
        {
            string value = Environment.GetEnvironmentVariable(name);
            if (string.IsNullOrEmpty(value))
            {
                throw new InvalidOperationException(name + " is not set (scripts/test-dotnet.sh sets it)");
            }
            return value;
        }
    }
}
