#pragma once

// What the stand-in libftdi1 (fakelib/fakeftdi.cpp) and the FTDI adapter's tests share: the
// far end of a device's cable, and the controls the test sets devices up through, all
// reached through the one entry point fakeftdi_controls().

// The far end of a device's cable, and the clock it runs on; supplied by the test.
struct FarEnd {
    void* context;
    long long (*now)(void* context);                 // ns
    void (*advanceTo)(void* context, long long ns);  // time passes while the caller blocks
    int (*take)(void* context, unsigned char* buffer, int size);  // all bytes due by now
    long long (*nextDue)(void* context);  // when the next byte arrives, -1: none on its way
    void (*fromPc)(void* context, const unsigned char* bytes, int size);
};

struct FakeFtdiControls {
    void (*reset)();
    // A device that reading the description of, or opening, fails with these (0: works).
    int (*add)(int product, const char* description, int stringsError, int openError);
    void (*attach)(int device, const FarEnd* farEnd);
    void (*arrive)(int device, const char* bytes, int size);
    void (*unplug)(int device);
    // Every later call of `function` returns `result` (0: works again; a positive result
    // of write_data is a short write).
    void (*fail)(const char* function, int result);
    int (*contexts)();  // contexts allocated and not freed
    int (*isOpen)(int device);
};
