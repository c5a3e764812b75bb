#include "task_pool.h"

#include <pthread.h>
#include <stdlib.h>

typedef void (*TaskFn)(int32_t start, int32_t end, uint32_t worker, void* taskContext);

enum { kTasksInFlight = 4 };

typedef struct {
    TaskFn fn;
    void* context;
    int32_t count, range, next, undone; /* items: in all, per range, next to take, not yet run */
    int used;
} PoolTask;

typedef struct {
    TaskPool* pool;
    uint32_t worker;
} Thread;

struct TaskPool {
    pthread_mutex_t lock;
    pthread_cond_t work, done;
    PoolTask tasks[kTasksInFlight];
    pthread_t threads[64];
    Thread args[64];
    int threadCount, stop;
};

/* With the lock held: runs the ranges of `only` (or of any task when NULL)
 * that nobody has taken yet, releasing the lock while each runs. */
static int RunRanges(TaskPool* pool, uint32_t worker, PoolTask* only) {
    int ran = 0;
    for (int i = 0; i < kTasksInFlight; ++i) {
        PoolTask* t = only ? only : &pool->tasks[i];
        while (t->used && t->next < t->count) {
            const int32_t start = t->next;
            const int32_t end = t->count - start > t->range ? start + t->range : t->count;
            t->next = end;
            pthread_mutex_unlock(&pool->lock);
            t->fn(start, end, worker, t->context);
            pthread_mutex_lock(&pool->lock);
            t->undone -= end - start;
            if (t->undone == 0) {
                pthread_cond_broadcast(&pool->done);
            }
            ran = 1;
        }
        if (only) {
            break;
        }
    }
    return ran;
}

static void* ThreadMain(void* arg) {
    Thread* self = (Thread*)arg;
    TaskPool* pool = self->pool;
    pthread_mutex_lock(&pool->lock);
    while (!pool->stop) {
        if (!RunRanges(pool, self->worker, NULL)) {
            pthread_cond_wait(&pool->work, &pool->lock);
        }
    }
    pthread_mutex_unlock(&pool->lock);
    return NULL;
}

TaskPool* TaskPool_Create(int32_t workerCount) {
    if (workerCount < 1 || workerCount > 64) {
        return NULL;
    }
    TaskPool* pool = (TaskPool*)calloc(1, sizeof(TaskPool));
    if (!pool) {
        return NULL;
    }
    pthread_mutex_init(&pool->lock, NULL);
    pthread_cond_init(&pool->work, NULL);
    pthread_cond_init(&pool->done, NULL);
    for (int i = 1; i < workerCount; ++i) {
        pool->args[i] = (Thread){pool, (uint32_t)i};
        if (pthread_create(&pool->threads[pool->threadCount], NULL, ThreadMain, &pool->args[i])) {
            TaskPool_Destroy(pool);
            return NULL;
        }
        ++pool->threadCount;
    }
    return pool;
}

void TaskPool_Destroy(TaskPool* pool) {
    if (!pool) {
        return;
    }
    pthread_mutex_lock(&pool->lock);
    pool->stop = 1;
    pthread_cond_broadcast(&pool->work);
    pthread_mutex_unlock(&pool->lock);
    for (int i = 0; i < pool->threadCount; ++i) {
        pthread_join(pool->threads[i], NULL);
    }
    pthread_cond_destroy(&pool->done);
    pthread_cond_destroy(&pool->work);
    pthread_mutex_destroy(&pool->lock);
    free(pool);
}

void* TaskPool_Enqueue(TaskFn task, int32_t itemCount, int32_t minRange, void* taskContext,
                       void* userContext) {
    TaskPool* pool = (TaskPool*)userContext;
    /* About four ranges per worker, so that one slow range leaves the others
     * something to take. */
    const int32_t share = itemCount / (4 * (pool->threadCount + 1)) + 1;
    const int32_t range = share > minRange ? share : (minRange > 0 ? minRange : 1);
    pthread_mutex_lock(&pool->lock);
    for (int i = 0; pool->threadCount > 0 && i < kTasksInFlight; ++i) {
        PoolTask* t = &pool->tasks[i];
        if (!t->used) {
            *t = (PoolTask){task, taskContext, itemCount, range, 0, itemCount, 1};
            pthread_cond_broadcast(&pool->work);
            pthread_mutex_unlock(&pool->lock);
            return t;
        }
    }
    pthread_mutex_unlock(&pool->lock);
    task(0, itemCount, 0, taskContext); /* no thread, or too many tasks at once */
    return NULL;
}

void TaskPool_Finish(void* userTask, void* userContext) {
    TaskPool* pool = (TaskPool*)userContext;
    PoolTask* t = (PoolTask*)userTask;
    pthread_mutex_lock(&pool->lock);
    RunRanges(pool, 0, t);
    while (t->undone > 0) {
        pthread_cond_wait(&pool->done, &pool->lock);
    }
    t->used = 0;
    pthread_mutex_unlock(&pool->lock);
}
