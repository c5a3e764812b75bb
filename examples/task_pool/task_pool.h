/* A small task system for Anime_SetTaskSystem: a fixed set of threads that
 * take ranges of a task as they come free, with the thread that waits for a
 * task taking its ranges too (as worker 0). Pass the pool as the user context:
 *
 *     TaskPool* pool = TaskPool_Create(4);
 *     Anime_SetTaskSystem(TaskPool_Enqueue, TaskPool_Finish, 4, pool);
 *     ...
 *     Anime_SetTaskSystem(NULL, NULL, 1, NULL);
 *     TaskPool_Destroy(pool);
 */
#ifndef KIVANIME_TASK_POOL_H
#define KIVANIME_TASK_POOL_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct TaskPool TaskPool;

/* workerCount - 1 threads (1 to 64 workers); NULL when they cannot be made. */
TaskPool* TaskPool_Create(int32_t workerCount);
void TaskPool_Destroy(TaskPool* pool);

void* TaskPool_Enqueue(void (*task)(int32_t start, int32_t end, uint32_t worker, void* taskContext),
                       int32_t itemCount, int32_t minRange, void* taskContext, void* userContext);
void TaskPool_Finish(void* userTask, void* userContext);

#ifdef __cplusplus
}
#endif

#endif /* KIVANIME_TASK_POOL_H */
