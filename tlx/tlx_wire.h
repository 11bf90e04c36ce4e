// The tlx wire codec: frames, the handshake and parameter records as bytes. Pure functions without
// sockets, so they can be fed any bytes (fuzzing, tests). Every decoder returns false (or null) on
// truncated, oversized or malformed input and never reads outside the buffer it is given.
#pragma once

#include "tlx/tlx.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tlx {
namespace wire {

constexpr uint32_t kMagic = 0x584c545a; // "ZTLX" in the little-endian stream
constexpr uint16_t kVersion = 1;
constexpr size_t kHeaderSize = 16;
constexpr size_t kDefaultMaxFrame = 64u << 20;
constexpr size_t kMaxHelloFrame = 64u << 10; // limit before the login has succeeded

enum FrameKind : uint8_t {
    kHello = 1,      // client -> server: magic, version, user, password
    kHelloReply = 2, // server -> client: magic, version, status, text
    kRequest = 3,    // client -> server: parameter record, id
    kReply = 4,      // server -> client: parameter record, id of the request
    kMessage = 5,    // client -> server: one-way parameter record
    kPush = 6,       // server -> client: pushed parameter record (events, notices)
    kHeartbeat = 7,  // either way, empty
};

enum FrameFlags : uint8_t {
    kCompressed = 1, // payload is uint32 raw length + zlib stream
};

// Kinds of parameter records made by the client calls (pushed messages carry the server's kind).
enum ParamKind : int32_t { kParamMessage = 1, kParamRequest = 2, kParamReply = 3 };

struct FrameHeader {
    uint32_t length = 0; // payload bytes after the header, as sent
    uint8_t kind = 0;
    uint8_t flags = 0;
    uint64_t id = 0;
};

struct Frame {
    uint8_t kind = 0;
    uint64_t id = 0;
    std::vector<uint8_t> payload; // already inflated
};

// Header only: false when fewer than kHeaderSize bytes, unknown kind or flags, non-zero reserved
// bytes, or a payload above maxFrame.
bool DecodeFrameHeader(const uint8_t *data, size_t size, size_t maxFrame, FrameHeader *out);
// Payload of a frame whose header is known: inflates compressed payloads, bounded by maxFrame.
bool DecodeFramePayload(const FrameHeader &header, const uint8_t *payload, size_t size, size_t maxFrame, Frame *out);
// Exactly one whole frame (header and payload, nothing after it).
bool DecodeFrame(const uint8_t *data, size_t size, Frame *out, size_t maxFrame = kDefaultMaxFrame);
// Payloads above compressAbove bytes go out compressed when that makes them smaller (0 = never).
std::vector<uint8_t> EncodeFrame(uint8_t kind, uint64_t id, const uint8_t *payload, size_t size,
                                 size_t compressAbove = 0);

struct Hello {
    uint32_t magic = kMagic;
    uint16_t version = kVersion;
    std::string user;
    std::string password;
};
struct HelloReply {
    uint16_t version = kVersion;
    int32_t status = 0; // 0 = logged in, TLX_ERR_AUTH, TLX_ERR_PROTO
    std::string text;
};
std::vector<uint8_t> EncodeHello(const Hello &hello);
// False when truncated or the magic is wrong; the version is returned for the caller to judge.
bool DecodeHello(const uint8_t *data, size_t size, Hello *out);
std::vector<uint8_t> EncodeHelloReply(const HelloReply &reply);
bool DecodeHelloReply(const uint8_t *data, size_t size, HelloReply *out);

// Parameter record: command, kind, fields (name, type, value) and attached packed arrays.
void EncodeParam(const TLXCliParam *param, std::vector<uint8_t> *out);
// A new record (free with TLXPrmDestroy), or null when the bytes are malformed.
TLXCliParam *DecodeParam(const uint8_t *data, size_t size);

} // namespace wire
} // namespace tlx
