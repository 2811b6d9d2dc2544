// The slot functions of the library's handler tables, generated: the slot
// of method M is tHandlerSlot<Get, M>::call, which runs M on the handler
// that Get gives (the calling thread's own) with the slot's arguments and
// returns its result. A table file thus holds only its handler, its table
// and the comments that say what each slot does for its format.
#pragma once

template <auto Get, auto Method>
struct tHandlerSlot;

template <class Handler, Handler &(*Get)(), class Result, class Class, class... Args, Result (Class::*Method)(Args...)>
struct tHandlerSlot<Get, Method> {
    static Result call(Args... args) { return (Get().*Method)(args...); }
};
