// The memory of the tree: the arena a parse takes its maps' and sequences'
// blocks from (JsonAllocator, ParseMemory).
#include <algorithm>
#include <atomic>
#include <limits>
#include <new>
#include <thread>
#include <type_traits>

#include "json/JsonInternal.h"
#include "json/JsonValue.h"

// The memory of the tree.
//
// A parse makes tens of thousands of map nodes and sequences, and its caller
// usually drops them all at once. From the heap each was an allocation of its
// own, and map nodes (about 200 bytes) are too large for the heap's fast
// lists: building and freeing a tree took about a fifth of the reading time.
// Instead a parse takes its blocks one after another from a few large pieces
// (its arena), which go when the arena's last block is freed.
//
// Each block is preceded by the address of its arena, null for a block from
// the heap. The arena counts its live blocks; the count is atomic because a
// tree, or a part moved out of it, may be freed on another thread. While the
// parse runs only the parsing thread can reach the arena, so it counts the
// blocks it hands out without atomics and adds them when it ends; until then
// the count holds a bias, so the blocks freed meanwhile (a container that
// turns out malformed) cannot bring it to zero.
namespace json_internal {

struct Piece {
  Piece* next;
  std::size_t size;
};

struct Arena {
  std::atomic<std::size_t> live;
  Piece* pieces;
};

namespace {

struct BlockHeader {
  Arena* arena;  // null: the block is from the heap
};

constexpr std::size_t kAlign = alignof(void*);
constexpr std::size_t kBias = std::numeric_limits<std::size_t>::max() / 2;
constexpr std::size_t kPiece = 64 * 1024;     // the usual piece
constexpr std::size_t kAlone = kPiece / 4;    // a block this large gets a piece of its own
constexpr std::size_t kFirstPieceMin = 1024;  // the first piece of a short text
constexpr std::size_t kFreeAhead = 8192;      // how far ahead of a freed block to fetch

static_assert(sizeof(BlockHeader) % kAlign == 0 && sizeof(Piece) % kAlign == 0 && sizeof(Arena) % kAlign == 0);

// Usual pieces freed with their arena wait here for the next arenas, as many
// as the last arena freed had; the rest go back to the heap. Handing a large
// tree's pieces back to the heap at once lets it return the memory to the
// system, and the next parse then faults every page in again (several times
// the reading time for a 1 MB text, measured).
//
// Trivially destructible, so arenas freed while the program exits can still
// use it; CacheCloser empties it then and lets nothing in afterwards.
class PieceCache {
 public:
  Piece* Take() {
    Lock();
    Piece* piece = m_free;
    if (piece != nullptr) {
      m_free = piece->next;
      --m_count;
    }
    Unlock();
    return piece;
  }

  // Takes the list of count usual pieces.
  void Give(Piece* list, std::size_t count) noexcept {
    Lock();
    const std::size_t keep = m_closed ? 0 : count;
    if (list != nullptr) {
      Piece* last = list;
      while (last->next != nullptr) last = last->next;
      last->next = m_free;
      m_free = list;
      m_count += count;
    }
    Piece* dropped = nullptr;
    while (m_count > keep) {
      Piece* piece = m_free;
      m_free = piece->next;
      --m_count;
      piece->next = dropped;
      dropped = piece;
    }
    Unlock();
    FreeList(dropped);
  }

  std::size_t Count() noexcept {
    Lock();
    const std::size_t count = m_count;
    Unlock();
    return count;
  }

  void Close() noexcept {
    Lock();
    m_closed = true;
    Unlock();
    Give(nullptr, 0);
  }

  static void FreeList(Piece* piece) noexcept {
    while (piece != nullptr) {
      Piece* next = piece->next;
      ::operator delete(piece);
      piece = next;
    }
  }

 private:
  void Lock() noexcept {
    while (m_busy.exchange(true, std::memory_order_acquire)) std::this_thread::yield();
  }
  void Unlock() noexcept { m_busy.store(false, std::memory_order_release); }

  std::atomic<bool> m_busy{false};
  bool m_closed = false;
  Piece* m_free = nullptr;
  std::size_t m_count = 0;
};

static_assert(std::is_trivially_destructible_v<PieceCache>);
constinit PieceCache g_pieces;

struct CacheCloser {
  ~CacheCloser() { g_pieces.Close(); }
} g_cacheCloser;

thread_local ParseMemory* t_parse = nullptr;

constinit std::atomic<std::size_t> g_liveArenas{0};

void DestroyArena(Arena* arena) noexcept {
  Piece* piece = arena->pieces;  // the arena itself lives in one of them
  arena->~Arena();
  g_liveArenas.fetch_sub(1, std::memory_order_relaxed);
  Piece* usual = nullptr;
  std::size_t count = 0;
  while (piece != nullptr) {
    Piece* next = piece->next;
    if (piece->size == kPiece) {
      piece->next = usual;
      usual = piece;
      ++count;
    } else {
      ::operator delete(piece);
    }
    piece = next;
  }
  g_pieces.Give(usual, count);
}

// A tree takes up to about sixteen times its text; a short text starts with
// a smaller piece, so that a small tree kept alive holds little more than it
// uses.
std::size_t FirstPieceFor(std::size_t textBytes) {
  if (textBytes >= kPiece / 16) return kPiece;
  return std::max(textBytes * 16, kFirstPieceMin);
}

Piece* NewPiece(std::size_t size) {
  Piece* piece = size == kPiece ? g_pieces.Take() : nullptr;
  if (piece == nullptr) piece = static_cast<Piece*>(::operator new(size));
  piece->size = size;
  return piece;
}

}  // namespace

ParseMemory::ParseMemory(std::size_t textBytes) noexcept : m_firstPiece(FirstPieceFor(textBytes)), m_previous(t_parse) {
  t_parse = this;
}

ParseMemory::~ParseMemory() {
  t_parse = m_previous;
  if (m_arena == nullptr) return;
  const std::size_t delta = m_handedOut - kBias;  // modulo 2^n: live becomes handed out - freed
  if (m_arena->live.fetch_add(delta, std::memory_order_acq_rel) + delta == 0) DestroyArena(m_arena);
}

void* ParseMemory::Allocate(std::size_t bytes) {
  if (bytes > kBias) throw std::bad_array_new_length();
  const std::size_t need = sizeof(BlockHeader) + (bytes + kAlign - 1) / kAlign * kAlign;
  char* at = m_cursor;
  if (static_cast<std::size_t>(m_limit - at) < need) {
    at = static_cast<char*>(AllocateFromNewPiece(need));
  } else {
    m_cursor = at + need;
  }
  ++m_handedOut;
  auto* header = reinterpret_cast<BlockHeader*>(at);
  header->arena = m_arena;
  return header + 1;
}

// A block that the current piece cannot hold: a large one gets a piece of its
// own (the current piece stays in use), any other the next piece.
void* ParseMemory::AllocateFromNewPiece(std::size_t need) {
  const bool first = m_arena == nullptr;
  const std::size_t overhead = sizeof(Piece) + (first ? sizeof(Arena) : 0);
  const bool alone = need > kAlone;
  std::size_t size = first ? m_firstPiece : kPiece;
  if (alone || overhead + need > size) size = overhead + need;
  Piece* piece = NewPiece(size);
  char* start = reinterpret_cast<char*>(piece) + sizeof(Piece);
  if (first) {
    m_arena = new (start) Arena{{kBias}, nullptr};
    g_liveArenas.fetch_add(1, std::memory_order_relaxed);
    start += sizeof(Arena);
  }
  piece->next = m_arena->pieces;
  m_arena->pieces = piece;
  if (alone && !first) return start;
  m_cursor = start + need;
  m_limit = reinterpret_cast<char*>(piece) + size;
  return start;
}

std::size_t LiveArenas() noexcept { return g_liveArenas.load(std::memory_order_relaxed); }

std::size_t KeptPieces() noexcept { return g_pieces.Count(); }

void* AllocateBlock(std::size_t bytes) {
  if (ParseMemory* parse = t_parse) return parse->Allocate(bytes);
  if (bytes > kBias) throw std::bad_array_new_length();
  auto* header = static_cast<BlockHeader*>(::operator new(sizeof(BlockHeader) + bytes));
  header->arena = nullptr;
  return header + 1;
}

void FreeBlock(void* block) noexcept {
  BlockHeader* header = static_cast<BlockHeader*>(block) - 1;
  Arena* arena = header->arena;
  if (arena == nullptr) {
    ::operator delete(header);
    return;
  }
  // A tree is mostly freed in the order it was built, so the blocks a few
  // kilobytes further on in the arena come next. Fetching them now lets the
  // caches fill ahead of the walk instead of one missed node at a time: on
  // a tree far larger than the caches this took a third off the freeing.
#if defined(__GNUC__)
  const char* ahead = reinterpret_cast<const char*>(header) + kFreeAhead;
  for (int line = 0; line < 4; ++line) __builtin_prefetch(ahead + 64 * line);
#endif
  if (arena->live.fetch_sub(1, std::memory_order_acq_rel) == 1) DestroyArena(arena);
}

}  // namespace json_internal
