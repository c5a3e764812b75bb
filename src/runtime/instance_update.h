// Setting up an instance's per-frame state and advancing instances by one
// frame.
#pragma once

#include "runtime/anime_instance.h"
#include "runtime/frame_scratch.h"
#include "runtime/instance_table.h"
#include "runtime/task_system.h"
#include "runtime/update_workers.h"

namespace kivanime {

// Sizes the pose list for the instance's model, makes room for it in
// `scratch`, and copies the rest pose and textures into the poses (handles
// must be loaded).
void InitializeInstanceState(AnimeInstance& instance, FrameScratch& scratch);

// Advances one instance by dt milliseconds: rest pose, clocks, motions,
// expression, the offsets game code set, hierarchy, springs (pushed by its
// own wind plus `globalWindX/Y`), opacity, working in `scratch`. Hidden
// instances and instances without a model are left alone. What its motions
// announce goes to `events`, when given.
void UpdateInstance(AnimeInstance& instance, float dt, float globalWindX, float globalWindY,
                    FrameScratch& scratch, FrameEvents* events = nullptr);

// One frame of every instance, in creation order; the entries of each go
// to `events` under its id, when given.
void UpdateInstances(InstanceTable& instances, float dt, float globalWindX, float globalWindY,
                     FrameScratch& scratch, FrameEvents* events = nullptr);

// The same frame with the instances spread over the task system's workers
// (each instance touches only its own state and the read-only models): the
// events are collected per worker and merged into `events` in creation
// order, so that the list is the one the serial frame makes. Serial without
// a task system.
void UpdateInstances(InstanceTable& instances, float dt, float globalWindX, float globalWindY,
                     UpdateWorkers& workers, const TaskSystem& tasks, FrameEvents& events);

}  // namespace kivanime
