#pragma once
// Checked stdio operations on an open stream. A failure throws ProcessError with the
// operation's fixed text and the system's reason (strerror of errno) where it has room
// for one. "File read error" and "Error file write" stay exact, because callers match
// them: for those the reason ends the counts line printed on standard output first.
// Writes are seen to fail only on an unbuffered stream (setvbuf _IONBF) or at flush.
#include <cstdint>
#include <cstdio>

// An offset of 2^63 - 1 or more throws "Seek from start error (offset > LONG_MAX) : ...";
// a failing seek "Seek from start error (return != 0) : <ret>. Offset from start : <offset>. <reason>".
void file_seek_from_start(FILE *file, uint64_t offset);
// A failing seek throws "Seek to end of file error (return != 0) : <ret>. <reason>".
void file_seek_to_end(FILE *file);
// The stream position; a failure throws "Can't get file size : Ftell return <pos>. Error : <errno>. <reason>".
uint64_t file_tell(FILE *file);
// Seeks to offset (as file_seek_from_start) and reads exactly length bytes into buffer;
// fewer prints "Nb bytes read request : <length>. Nb bytes read : <count>. <reason>" and
// throws "File read error".
void file_read_at(FILE *file, void *buffer, uint64_t offset, uint64_t length);
// Writes exactly length bytes at the stream position (a null stream writes none); fewer
// prints "Number of bytes to write : <length>. Number bytes write : <count>. <reason>"
// and throws "Error file write".
void file_write_checked(FILE *file, const void *data, uint64_t length);
