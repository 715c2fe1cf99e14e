#include "Server.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <functional>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include "Log.h"

namespace korv::server {
namespace {

using Clock = CClientConnection::Clock;

// Descriptors kept aside from the clients: standard streams, the data folders, the listening
// socket, the stop signal's pipe and some room.
constexpr rlim_t kReservedDescriptors = 16;
// The default connection limit where the descriptor limit allows more: each client may hold
// about 200 KiB of unfinished input and pending output.
constexpr std::size_t kDefaultMostConnections = 4096;
constexpr int kIdleTier = 1;  // CClientConnection::Rank: not being served
constexpr int kAnyTier = 2;

// Stalled clients are closed to make room, so the more descriptors the better.
void RaiseDescriptorLimit()
{
    rlimit descriptors{};
    if (::getrlimit(RLIMIT_NOFILE, &descriptors) == 0 &&
        descriptors.rlim_cur < descriptors.rlim_max && descriptors.rlim_max != RLIM_INFINITY) {
        descriptors.rlim_cur = descriptors.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &descriptors);
    }
}

std::string PeerName(const sockaddr_in& address)
{
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &address.sin_addr, text, sizeof text);
    return std::string(text) + ":" + std::to_string(ntohs(address.sin_port));
}

}  // namespace

CServer::CServer(const ServerOptions& options)
    : m_options(options), m_handler(m_folder, options),
      m_quota(static_cast<std::size_t>(options.maxQueuedJobs))
{}

CServer::~CServer()
{
    m_clients.clear();
    if (m_listenFd >= 0) {
        ::close(m_listenFd);
    }
}

bool CServer::Start(std::string& error)
{
    if (!m_folder.Open(m_options.dataDir, error)) {
        error = "bad data folder: " + error + " (expected patients/, thumbs/ and images/ in it)";
        return false;
    }
    if (!m_stop.Install()) {
        error = std::string("cannot set up signal handling: ") + std::strerror(errno);
        return false;
    }
    RaiseDescriptorLimit();
    m_maxConnections = MaxConnections();
    m_evictions.SetMaxConnections(m_maxConnections);
    rlimit descriptors{};
    ::getrlimit(RLIMIT_NOFILE, &descriptors);
    Log("serving at most " + std::to_string(m_maxConnections) +
        " clients at once (descriptor limit " +
        (descriptors.rlim_cur == RLIM_INFINITY ? std::string("unlimited")
                                               : std::to_string(descriptors.rlim_cur)) +
        ")");
    return Listen(error);
}

bool CServer::Listen(std::string& error)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(m_options.port));
    if (::inet_pton(AF_INET, m_options.bindAddress.c_str(), &address.sin_addr) != 1) {
        error = "bad bind address '" + m_options.bindAddress + "' (an IPv4 address is expected)";
        return false;
    }
    m_listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (m_listenFd < 0) {
        error = std::string("cannot create a socket: ") + std::strerror(errno);
        return false;
    }
    const int yes = 1;
    ::setsockopt(m_listenFd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    const std::string where = m_options.bindAddress + ":" + std::to_string(m_options.port);
    if (::bind(m_listenFd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        error = "cannot listen on " + where + ": " +
                (errno == EADDRINUSE ? "the port is in use" : std::strerror(errno));
        return false;
    }
    if (::listen(m_listenFd, SOMAXCONN) != 0) {
        error = "cannot listen on " + where + ": " + std::strerror(errno);
        return false;
    }
    socklen_t length = sizeof address;
    ::getsockname(m_listenFd, reinterpret_cast<sockaddr*>(&address), &length);
    m_port = ntohs(address.sin_port);
    return true;
}

std::size_t CServer::MaxConnections() const
{
    rlimit descriptors{};
    if (::getrlimit(RLIMIT_NOFILE, &descriptors) != 0 || descriptors.rlim_cur == RLIM_INFINITY) {
        return static_cast<std::size_t>(m_options.maxConnections);
    }
    const rlim_t spare = descriptors.rlim_cur > kReservedDescriptors
                             ? descriptors.rlim_cur - kReservedDescriptors
                             : 2;
    const auto carried = static_cast<std::size_t>(std::max<rlim_t>(spare / 2, 1));
    return std::min(carried, m_options.maxConnectionsGiven
                                 ? static_cast<std::size_t>(m_options.maxConnections)
                                 : kDefaultMostConnections);
}

bool CServer::MakeRoom(std::vector<std::size_t>& order, bool& ordered, std::size_t polled,
                       int maxTier, std::size_t acceptedSoFar, Clock::time_point now)
{
    if (!ordered) {
        std::vector<std::pair<CClientConnection::EvictionRank, std::size_t>> ranked;
        for (std::size_t i = 0; i < polled; ++i) {
            if (m_clients[i]) {
                ranked.emplace_back(m_clients[i]->Rank(), i);
            }
        }
        // The next to give way at the back.
        std::sort(ranked.begin(), ranked.end(), std::greater<>());
        for (const auto& entry : ranked) {
            order.push_back(entry.second);
        }
        ordered = true;
    }
    if (order.empty()) {
        return false;
    }
    std::unique_ptr<CClientConnection>& victim = m_clients[order.back()];
    const CClientConnection::EvictionRank rank = victim->Rank();
    // A client accepted in this round may be a stalled one too, but it has not been read yet:
    // the next round tells, instead of closing one being served in its place.
    const bool stalled = rank.tier == CClientConnection::kTierStalled;
    if (rank.tier > maxTier || (!stalled && acceptedSoFar != 0)) {
        return false;
    }
    order.pop_back();
    m_evictions.Note(stalled, now);
    victim.reset();
    return true;
}

void CServer::AcceptAll(Clock::time_point now)
{
    // Everyone here was served in this round, so what it sent has been read.
    const std::size_t polled = m_clients.size();
    std::size_t live = polled;
    std::size_t accepted = 0;
    std::vector<std::size_t> order;
    bool ordered = false;
    bool retried = false;  // after running out of descriptors
    // Clients up to maxTier give way for the next one: one, or more where running out of
    // descriptors lowered the limit below the clients there are. True when there is room.
    auto giveWay = [&](int maxTier) {
        bool gaveWay = false;
        while ((!gaveWay || live >= m_maxConnections) &&
               MakeRoom(order, ordered, polled, maxTier, accepted, now)) {
            --live;
            gaveWay = true;
        }
        return gaveWay && live < m_maxConnections;
    };
    for (;;) {
        if (live >= m_maxConnections) {
            // Full: the next client takes the place of those that give way first, but only
            // when there is a next client; nobody gives way to an empty queue.
            pollfd listener{m_listenFd, POLLIN, 0};
            if (::poll(&listener, 1, 0) <= 0 || (listener.revents & POLLIN) == 0 ||
                !giveWay(kAnyTier)) {
                break;
            }
        }
        sockaddr_in address{};
        socklen_t length = sizeof address;
        const int fd = ::accept4(m_listenFd, reinterpret_cast<sockaddr*>(&address), &length,
                                 SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            const int failure = errno;
            if (failure == EMFILE && live > 1 && live - 1 < m_maxConnections) {
                // The descriptors ran out below the connection limit (the server was started
                // holding some): one client fewer keeps a descriptor free for a reply's file.
                m_maxConnections = live - 1;
                m_evictions.SetMaxConnections(m_maxConnections);
                Log("out of descriptors with " + std::to_string(live) +
                    " clients; serving at most " + std::to_string(m_maxConnections) + " at once");
            }
            // Clients that are not being served give way, and the accept is tried again, once:
            // when that fails too, the descriptors went elsewhere (ENFILE: other processes).
            if ((failure == EMFILE || failure == ENFILE) && !retried && giveWay(kIdleTier)) {
                retried = true;
                continue;
            }
            if (failure == EMFILE || failure == ENFILE || failure == ENOBUFS || failure == ENOMEM) {
                // The pending connection stays queued; back off instead of spinning on it.
                Log(std::string("cannot accept a client: ") + std::strerror(failure));
                m_acceptPausedUntil = now + std::chrono::milliseconds(100);
            }
            break;
        }
        const std::string peer = PeerName(address);
        Log(peer + " connected");
        m_clients.push_back(std::make_unique<CClientConnection>(
            fd, peer, m_handler, std::chrono::milliseconds(m_options.delayMs), m_quota,
            std::chrono::milliseconds(m_options.idleTimeoutMs),
            std::chrono::milliseconds(m_options.firstFrameTimeoutMs)));
        ++live;
        ++accepted;
        retried = false;
    }
    std::erase(m_clients, nullptr);
}

int CServer::Run()
{
    std::vector<pollfd> fds;
    while (m_stop.Received() == 0) {
        Clock::time_point now = Clock::now();
        std::optional<Clock::time_point> wakeup;
        if (m_acceptPausedUntil > now) {
            wakeup = m_acceptPausedUntil;
        }
        m_evictions.FlushIfDue(now);
        if (const auto line = m_evictions.NextLine(); line && (!wakeup || *line < *wakeup)) {
            wakeup = line;
        }
        std::erase_if(m_clients, [&](const std::unique_ptr<CClientConnection>& client) {
            // Write straight away what became due; poll only for what would block.
            const bool alive = client->CheckIdle(now) && client->Pump(now) &&
                               (!client->WantsWrite() || client->OnWritable());
            if (!alive) {
                client->FlushLog();
                Log(client->Peer() + " closed");
            }
            return !alive;
        });

        fds.clear();
        fds.push_back({m_stop.ReadFd(), POLLIN, 0});
        // Accepting goes on when full: a new client takes a stalled one's place.
        const bool mayAccept = m_acceptPausedUntil <= now;
        fds.push_back({m_listenFd, static_cast<short>(mayAccept ? POLLIN : 0), 0});
        for (const auto& client : m_clients) {
            short events = 0;
            events |= client->WantsRead() ? POLLIN : 0;
            events |= client->WantsWrite() ? POLLOUT : 0;
            fds.push_back({client->Fd(), events, 0});
            if (const auto due = client->NextWakeup(now); due && (!wakeup || *due < *wakeup)) {
                wakeup = due;
            }
        }
        int timeout = -1;
        if (wakeup) {
            const auto wait = std::chrono::ceil<std::chrono::milliseconds>(*wakeup - now).count();
            timeout = static_cast<int>(std::clamp<long long>(wait, 0, 60000));
        }
        if (::poll(fds.data(), fds.size(), timeout) < 0) {
            if (errno == EINTR) {
                continue;
            }
            Log(std::string("poll failed: ") + std::strerror(errno));
            return 1;
        }
        now = Clock::now();
        // Clients are read before any is accepted, so that one whose request has come is not
        // taken for a stalled one.
        for (std::size_t i = 2; i < fds.size(); ++i) {
            CClientConnection& client = *m_clients[i - 2];
            const short revents = fds[i].revents;
            bool alive = true;
            if (revents & POLLIN) {
                alive = client.OnReadable(now);
            } else if (revents & (POLLHUP | POLLERR)) {
                // Nothing left to read and nowhere to write: the connection is gone both ways.
                alive = false;
            }
            if (alive && (revents & POLLOUT)) {
                alive = client.OnWritable();
            }
            if (!alive) {
                client.FlushLog();
                Log(client.Peer() + " closed");
                m_clients[i - 2].reset();
            }
        }
        std::erase(m_clients, nullptr);
        // Clients accepted now wait for the next round.
        if (fds[1].revents & POLLIN) {
            AcceptAll(now);
        }
    }
    m_evictions.Flush();
    Log(std::string("stopping on ") + (m_stop.Received() == SIGINT ? "SIGINT" : "SIGTERM"));
    return 0;
}

}  // namespace korv::server
