// Frames spread over several threads (Anime_SetTaskSystem), for C# games.
//
// The workers are background threads of their own rather than the .NET
// thread pool or Parallel.For: queueing a work item there allocates on every
// call (a frame hands out several tasks), and a game's frame must allocate
// nothing after warm-up. The thread that calls Anime.Update or Anime.Render
// takes part as worker 0 while it waits; the library still calls the host
// (IAnimeHost) on that thread only.
using System;
using System.Runtime.InteropServices;
using System.Threading;
using AOT;

namespace Kivanime
{
    public static partial class Anime
    {
        static readonly AnimeEnqueueTaskFn enqueueFn = OnEnqueue;
        static readonly AnimeFinishTaskFn finishFn = OnFinish;
        static TaskWorkers taskWorkers;

        /// <summary>Spreads the puppets' updates and draw preparation over
        /// `workerCount` threads (1 to 64, the calling thread counted): 1 runs
        /// every frame on the calling thread, as by default. Call it between
        /// frames, from the thread that runs them. Results are exactly those of
        /// one thread.</summary>
        public static void SetTaskSystem(int workerCount)
        {
            if (workerCount < 1 || workerCount > 64)
                throw new ArgumentOutOfRangeException("workerCount", workerCount, "1 to 64");
            TaskWorkers old = taskWorkers;
            TaskWorkers next = workerCount > 1 ? new TaskWorkers(workerCount) : null;
            taskWorkers = next;
            int ok = next == null
                ? NativeMethods.Anime_SetTaskSystem(IntPtr.Zero, IntPtr.Zero, 1, IntPtr.Zero)
                : NativeMethods.Anime_SetTaskSystem(Marshal.GetFunctionPointerForDelegate(enqueueFn),
                                                    Marshal.GetFunctionPointerForDelegate(finishFn), workerCount, IntPtr.Zero);
            if (ok == 0)
            {
                taskWorkers = old;
                if (next != null) next.Stop();
                Check(ok);
            }
            if (old != null) old.Stop();
        }

        [MonoPInvokeCallback(typeof(AnimeEnqueueTaskFn))]
        static IntPtr OnEnqueue(IntPtr task, int itemCount, int minRange, IntPtr taskContext, IntPtr userContext)
        {
            return taskWorkers.Enqueue(task, itemCount, minRange, taskContext);
        }

        [MonoPInvokeCallback(typeof(AnimeFinishTaskFn))]
        static void OnFinish(IntPtr userTask, IntPtr userContext)
        {
            taskWorkers.Finish(userTask);
        }
    }

    /// <summary>workerCount - 1 threads taking ranges of the tasks in flight.</summary>
    internal sealed class TaskWorkers
    {
        sealed class Job
        {
            public AnimeTaskFn Fn;
            public IntPtr Context;
            public int Count, Range, Next, Undone;
            public bool Used;
        }

        readonly object gate = new object();
        readonly Job[] jobs = { new Job(), new Job(), new Job(), new Job() };
        readonly Thread[] threads;
        readonly int workerCount;
        bool stop;
        // The library hands out a few task functions: each is wrapped once.
        readonly IntPtr[] taskPointers = new IntPtr[8];
        readonly AnimeTaskFn[] taskFunctions = new AnimeTaskFn[8];

        public TaskWorkers(int workerCount)
        {
            this.workerCount = workerCount;
            threads = new Thread[workerCount - 1];
            for (int i = 0; i < threads.Length; i++)
            {
                uint worker = (uint)(i + 1);
                threads[i] = new Thread(() => Run(worker)) { IsBackground = true, Name = "kivanime worker " + worker };
                threads[i].Start();
            }
        }

        public void Stop()
        {
            lock (gate) { stop = true; Monitor.PulseAll(gate); }
            foreach (Thread t in threads) t.Join();
        }

        AnimeTaskFn FunctionAt(IntPtr task)
        {
            for (int i = 0; i < taskPointers.Length; i++)
            {
                if (taskPointers[i] == task) return taskFunctions[i];
                if (taskPointers[i] == IntPtr.Zero)
                {
                    taskFunctions[i] = (AnimeTaskFn)Marshal.GetDelegateForFunctionPointer(task, typeof(AnimeTaskFn));
                    taskPointers[i] = task;
                    return taskFunctions[i];
                }
            }
            return (AnimeTaskFn)Marshal.GetDelegateForFunctionPointer(task, typeof(AnimeTaskFn));
        }

        public IntPtr Enqueue(IntPtr task, int itemCount, int minRange, IntPtr context)
        {
            AnimeTaskFn fn;
            lock (gate)
            {
                fn = FunctionAt(task);
                int share = itemCount / (4 * workerCount) + 1;
                for (int i = 0; i < jobs.Length; i++)
                {
                    Job j = jobs[i];
                    if (j.Used) continue;
                    j.Fn = fn; j.Context = context; j.Count = itemCount; j.Next = 0; j.Undone = itemCount;
                    j.Range = Math.Max(Math.Max(share, minRange), 1); j.Used = true;
                    Monitor.PulseAll(gate);
                    return (IntPtr)(i + 1);
                }
            }
            fn(0, itemCount, 0, context);  // too many tasks at once: run it here
            return IntPtr.Zero;
        }

        public void Finish(IntPtr handle)
        {
            Job j = jobs[(int)handle - 1];
            lock (gate)
            {
                RunRanges(0, j);
                while (j.Undone > 0) Monitor.Wait(gate);
                j.Used = false;
            }
        }

        void Run(uint worker)
        {
            lock (gate)
            {
                while (!stop)
                {
                    bool ran = false;
                    foreach (Job j in jobs) ran |= RunRanges(worker, j);
                    if (!ran) Monitor.Wait(gate);
                }
            }
        }

        // With the lock held: runs the ranges of `j` nobody has taken yet,
        // releasing the lock while each runs.
        bool RunRanges(uint worker, Job j)
        {
            bool ran = false;
            while (j.Used && j.Next < j.Count)
            {
                int start = j.Next, end = Math.Min(j.Count, start + j.Range);
                j.Next = end;
                Monitor.Exit(gate);
                try { j.Fn(start, end, worker, j.Context); }
                finally { Monitor.Enter(gate); }
                j.Undone -= end - start;
                if (j.Undone == 0) Monitor.PulseAll(gate);
                ran = true;
            }
            return ran;
        }
    }
}
