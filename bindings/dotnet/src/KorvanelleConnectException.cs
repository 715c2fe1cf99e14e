namespace Korvanelle
{
    // Connect returned 0. LibraryText is the library's own failure text for the case.
    public sealed class KorvanelleConnectException : KorvanelleException
    {
        internal KorvanelleConnectException(string host, int port, ConnectFailure reason)
            : base(Describe(host, port, reason) + " [" + TextOf(reason) + "]")
        {
            Host = host;
            Port = port;
            Reason = reason;
            LibraryText = TextOf(reason);
        }

        public string Host { get; private set; }

        public int Port { get; private set; }

        public ConnectFailure Reason { get; private set; }

        public string LibraryText { get; private set; }

        private static string Describe(string host, int port, ConnectFailure reason)
        {
            switch (reason)
            {
                case ConnectFailure.AlreadyConnected:
                    return "a connection is already open in this process; dispose of it first";
                case ConnectFailure.TimedOut:
                    return "no answer from " + host + ":" + port + " within 10 s";
                default:
                    return "cannot connect to " + host + ":" + port;
            }
        }

        private static string TextOf(ConnectFailure reason)
        {
            switch (reason)
            {
                case ConnectFailure.AlreadyConnected:
                    return "(KorvanelleClient.dll)Error:\u8FDE\u63A5\u672A\u5173\u95ED";
                case ConnectFailure.TimedOut:
                    return "(KorvanelleClient.dll)Error:\u8FDE\u63A5\u8D85\u65F6";
                default:
                    return "(KorvanelleClient.dll)Error:\u8FDE\u63A5\u5931\u8D25";
            }
        }
    }
}
