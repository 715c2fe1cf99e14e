#include "SmallStack.h"

#include <pthread.h>

namespace {

void* RunFunction(void* pArg)
{
    (*static_cast<const std::function<void()>*>(pArg))();
    return nullptr;
}

}  // namespace

bool RunOnSmallStack(const std::function<void()>& fn, std::size_t stackBytes)
{
    pthread_attr_t attr;
    if (pthread_attr_init(&attr) != 0) {
        return false;
    }
    pthread_t thread;
    bool bStarted =
        pthread_attr_setstacksize(&attr, stackBytes) == 0 &&
        pthread_create(&thread, &attr, &RunFunction, const_cast<std::function<void()>*>(&fn)) == 0;
    pthread_attr_destroy(&attr);
    return bStarted && pthread_join(thread, nullptr) == 0;
}
