namespace Korvanelle
{
    // Why Connect failed, as far as the binding can tell: the library keeps its reason to
    // itself, so the binding names the case that matches what it observed.
    public enum ConnectFailure
    {
        // A connection of this process is still open (the library allows one).
        AlreadyConnected,
        // The server refused, or the attempt failed at once.
        Refused,
        // No answer within the library's 10 s.
        TimedOut,
    }
}
