#pragma once

#include <cstdint>
#include <mutex>
#include <thread>

#include "platform/MessageLoop.h"
#include "platform/ThreadMessage.h"

// A worker thread with its own message queue and loop. Messages can be posted from any
// thread as soon as the object exists, before the thread runs too.
//
// On the new thread: InitInstance; if it returns true, the loop dispatches every posted
// message except WM_QUIT to OnThreadMessage, in posting order, with socket notifications in
// between; WM_QUIT ends the loop. Then the queue is closed (later posts fail), each message
// still queued goes to OnDiscardMessage so that the owner can free what it carries, and
// ExitInstance runs last (also after a failed InitInstance).
//
// The object never deletes itself. Its owner ends the loop with WM_QUIT and then calls Join
// (or waits for an event that ExitInstance sets as its very last action) before deleting
// it: the destructor joins the OS thread too, but by then the derived part is already gone,
// so the thread must not be inside a derived override any more.
class CMsgThread {
public:
    CMsgThread();
    virtual ~CMsgThread();
    CMsgThread(const CMsgThread&) = delete;
    CMsgThread& operator=(const CMsgThread&) = delete;

    // Starts the OS thread; false when it cannot be created or was started before.
    bool CreateThread();
    // Any thread; false once the loop has ended.
    bool Post(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam);
    // Waits until the OS thread has ended; returns at once when it never started, was
    // joined before, or when called on the thread itself.
    void Join();
    // Identity of the OS thread; a default id before CreateThread.
    std::thread::id ThreadId() const;

protected:
    virtual bool InitInstance();
    // Default: the wParam of the WM_QUIT that ended the loop.
    virtual int ExitInstance();
    virtual void OnThreadMessage(const ThreadMessage& msg);
    virtual void OnDiscardMessage(const ThreadMessage& msg);

private:
    void Run();

    CMessageLoop m_loop;
    std::mutex m_startLock;  // held while CreateThread stores the thread handle
    std::thread m_thread;
    std::thread::id m_threadId;  // kept after Join, unlike the handle's
    std::uintptr_t m_nQuitCode;
};
