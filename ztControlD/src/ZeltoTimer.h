/* ZeltoTimer: a one-shot timer with its own thread. Armed with an interval
 * and a callback, it calls the callback once when the interval has passed
 * since the last arming, unless it is cancelled or re-armed first.
 *
 * Threads: arm() and cancel() may be called from any thread except the
 * timer's own. The callback runs on the timer thread with the timer's mutex
 * held, so it must not arm, cancel or destroy its own timer; it may take
 * other locks (the command server's stopEdit takes m_commandMutex, which is
 * why cancel() only try-locks). The deadline is on the monotonic clock, so a
 * change of the camera's wall clock neither fires nor stalls the timer.
 */
#ifndef ZT_ZELTO_TIMER_H
#define ZT_ZELTO_TIMER_H

#include <pthread.h>

#include <cerrno>
#include <cstdint>
#include <ctime>

#include "utils.h"

class ZeltoTimer {
public:
    typedef void (*Callback)(void *arg);

    // Starts the timer thread, disarmed. A failing initialisation is logged
    // and construction goes on (the timer then never fires).
    ZeltoTimer()
    {
        pthread_condattr_t attr;
        int rc = pthread_condattr_init(&attr);
        if (rc == 0)
            rc = pthread_condattr_setclock(&attr, CLOCK_MONOTONIC);
        if (rc == 0)
            rc = pthread_cond_init(&m_cond, &attr);
        pthread_condattr_destroy(&attr);
        if (rc != 0)
            ZTLOG(ZT_LOG_ERROR, "ZeltoTimer cond init failed %d", rc);
        rc = pthread_mutex_init(&m_mutex, nullptr);
        if (rc != 0)
            ZTLOG(ZT_LOG_ERROR, "ZeltoTimer wait mutex init failed %d", rc);
        rc = pthread_create(&m_thread, nullptr, threadHelper, this);
        if (rc != 0)
            ZTLOG(ZT_LOG_ERROR, "ZeltoTimer thread init failed %d", rc);
        m_threadStarted = rc == 0;
    }

    // Stops the thread and waits for it; a callback that is running finishes
    // first. Returns at once when the timer is idle.
    virtual ~ZeltoTimer()
    {
        stop();
        pthread_cond_destroy(&m_cond);
        pthread_mutex_destroy(&m_mutex);
    }

    // Ends the timer thread and waits for it; a callback that is running
    // finishes first, and none runs afterwards. An owner whose callback uses
    // the owner's own state calls this before tearing that state down.
    // Idempotent; not to be called from the callback.
    void stop()
    {
        pthread_mutex_lock(&m_mutex);
        m_stop = true;
        m_generation++;
        pthread_cond_broadcast(&m_cond);
        pthread_mutex_unlock(&m_mutex);
        if (m_threadStarted)
            pthread_join(m_thread, nullptr);
        m_threadStarted = false;
    }

    ZeltoTimer(const ZeltoTimer &) = delete;
    ZeltoTimer &operator=(const ZeltoTimer &) = delete;

    // Arms or re-arms: callback(arg) runs once intervalMs milliseconds after
    // this call, unless cancelled or re-armed before. An interval of 0 or less
    // leaves the timer disarmed. Waits for the timer's mutex.
    void arm(int intervalMs, Callback callback, void *arg)
    {
        pthread_mutex_lock(&m_mutex);
        m_callback = callback;
        m_callbackArg = arg;
        m_intervalMs = intervalMs;
        m_cancelled = false;
        m_generation++;
        pthread_cond_broadcast(&m_cond);
        pthread_mutex_unlock(&m_mutex);
    }

    // Disarms the timer if its mutex is free right now, without waiting.
    // Returns false when the mutex was busy (the thread is computing a
    // deadline or running the callback): the cancel is then lost, and the
    // callback runs or has just run.
    bool cancel()
    {
        if (pthread_mutex_trylock(&m_mutex) != 0)
            return false;
        m_cancelled = true;
        m_intervalMs = -1;
        m_generation++;
        pthread_cond_broadcast(&m_cond);
        pthread_mutex_unlock(&m_mutex);
        return true;
    }

    // Thread entry: runs timer->run() with the timer's mutex taken.
    static void *threadHelper(void *timer)
    {
        ZeltoTimer *self = static_cast<ZeltoTimer *>(timer);
        pthread_mutex_lock(&self->m_mutex);
        self->run();
        return nullptr;
    }

protected:
    // The thread body. Entered with m_mutex held; holds it except while
    // waiting, and releases it when it ends (on stop).
    virtual void run()
    {
        for (;;) {
            if (m_stop)
                break;
            struct timespec deadline = {0, 0};
            if (clock_gettime(CLOCK_MONOTONIC, &deadline) != 0)
                ZTLOG(ZT_LOG_ERROR, "ZeltoTimer failed to get time %d\n", errno);
            if (m_intervalMs > 0) {
                // 64-bit arithmetic: any positive int interval is fine.
                int64_t ns = (int64_t)deadline.tv_nsec + (int64_t)m_intervalMs * 1000000;
                deadline.tv_sec += (time_t)(ns / 1000000000);
                deadline.tv_nsec = (long)(ns % 1000000000);
                // Waits out the deadline unless something changes the timer;
                // spurious wake-ups do not restart the interval.
                const uint64_t generation = m_generation;
                int rc = 0;
                while (rc == 0 && generation == m_generation)
                    rc = pthread_cond_timedwait(&m_cond, &m_mutex, &deadline);
                if (rc == ETIMEDOUT && generation == m_generation) {
                    if (!m_cancelled && m_callback != nullptr) {
                        try {
                            m_callback(m_callbackArg);
                        } catch (...) {
                            // The callback's failure must not end the timer thread.
                        }
                    }
                    m_intervalMs = -1;
                } else if (rc != 0 && rc != ETIMEDOUT) {
                    break;  // broken condition variable: waiting again would spin
                }
            } else if (pthread_cond_wait(&m_cond, &m_mutex) != 0) {
                break;
            }
        }
        pthread_mutex_unlock(&m_mutex);
    }

private:
    // Guarded by m_mutex (all fields up to m_thread, and m_generation).
    int m_intervalMs = -1;  // > 0: armed; 0 or less: disarmed
    bool m_cancelled = false;
    bool m_stop = false;
    Callback m_callback = nullptr;
    void *m_callbackArg = nullptr;
    pthread_t m_thread;
    pthread_cond_t m_cond;  // on CLOCK_MONOTONIC
    pthread_mutex_t m_mutex;
    // Constant after construction.
    bool m_threadStarted = false;
    // Counts arms, cancels and the stop, so a wake-up can tell a real change
    // from a spurious one, and an arm that meets an expiring deadline wins.
    uint64_t m_generation = 0;
};

#endif  // ZT_ZELTO_TIMER_H
