// Finds the entries of a HARUCOM to-do list that name log files. Only a few
// landmarks of the list are known; everything else is passed over as bytes.
#pragma once

#include <string>

#include "convert/ByteStreams.h"

namespace tidewell {

enum class EntryKind { kFileTransfer, kPatio, kHp, kMail };

struct TodoEntry {
    EntryKind kind = EntryKind::kMail;
    std::string kindName;  // at most 15 bytes
    std::string subName;   // at most 11 bytes (7 for F and S kinds)
    std::string fileName;  // at most 255 bytes, printable ASCII only
    // The list's name ran past 255 bytes: fileName holds only its start and
    // names some other file, so the entry must not be converted.
    bool fileNameCut = false;
    std::string trace;  // what goes to standard output for this entry
};

inline constexpr size_t kKindNameCapacity = 15;
inline constexpr size_t kSubNameCapacity = 11;
inline constexpr size_t kShortSubNameCapacity = 7;
inline constexpr size_t kFileNameCapacity = 255;

class TodoListScanner {
  public:
    explicit TodoListScanner(ByteReader& in) : in_(in) {}
    // Moves to the next entry of a known kind; false once the list is used up.
    bool Next(TodoEntry* entry);

  private:
    void FeedMarker(int value);
    std::string CountedString(size_t capacity);
    void SkipByte() { in_.Get(); }
    void SkipToDoubleZero();
    void CountedSkip();
    int FileNameRun(std::string* name, bool* cut);
    int ReadFileTransferTail(TodoEntry* e);
    int ReadBoardTail(TodoEntry* e);
    int ReadMailTail(TodoEntry* e);

    ByteReader& in_;
    int markerState_ = 0;
};

}  // namespace tidewell
