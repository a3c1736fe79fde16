#pragma once
// A model property: a public field and its setter, "set" followed by the name with its
// first letter in upper case. Setters store what they are given, without checks.
//   ZQ_PROPERTY(uint32_t, vid_chunks, setVid_chunks) = 8;
#define ZQ_PROPERTY(type, name, setter)              \
    void setter(const type &value) { name = value; } \
    type name
