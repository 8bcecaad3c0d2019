#include "convert/TodoListScanner.h"

#include <cstring>

namespace tidewell {
namespace {

constexpr int kMarker1 = 0x02;
constexpr int kMarker2 = 0x09;
constexpr int kMarker3 = 0x32;
constexpr int kMarkerDone = 3;

// Names are kept as terminated text: anything after a NUL byte does not count.
std::string AsText(const std::string& bytes) {
    return bytes.substr(0, std::strlen(bytes.c_str()));
}

}  // namespace

void TodoListScanner::FeedMarker(int value) {
    // The three marker bytes may lie apart; other bytes leave the state alone.
    if (markerState_ == 0 && value == kMarker1) {
        markerState_ = 1;
    } else if (markerState_ == 1 && value == kMarker2) {
        markerState_ = 2;
    } else if (markerState_ == 2 && value == kMarker3) {
        markerState_ = kMarkerDone;
    }
}

std::string TodoListScanner::CountedString(size_t capacity) {
    const int len = in_.Get();
    std::string value;
    for (int i = 0; i < len; ++i) {
        const int b = in_.Get();
        if (b == ByteReader::kEnd) break;
        if (value.size() < capacity) value.push_back(static_cast<char>(b));
    }
    return value;
}

void TodoListScanner::SkipToDoubleZero() {
    bool lastWasZero = false;
    for (int b = in_.Get(); b != ByteReader::kEnd; b = in_.Get()) {
        if (b == 0 && lastWasZero) return;
        lastWasZero = (b == 0);
    }
}

void TodoListScanner::CountedSkip() {
    CountedString(0);
}

int TodoListScanner::FileNameRun(std::string* name, bool* cut) {
    for (;;) {
        const int b = in_.Get();
        if (b < 0x20 || b > 0x7E) return b;  // also end of input
        if (name->size() < kFileNameCapacity) {
            name->push_back(static_cast<char>(b));
        } else {
            *cut = true;
        }
    }
}

int TodoListScanner::ReadFileTransferTail(TodoEntry* e) {
    e->subName = CountedString(kShortSubNameCapacity);
    SkipByte();
    SkipToDoubleZero();
    SkipByte();
    const int end = FileNameRun(&e->fileName, &e->fileNameCut);
    const std::string sub = AsText(e->subName);
    e->trace = AsText(e->kindName) + "." + (sub.size() > 3 ? sub.substr(3) : std::string()) + " ";
    return end;
}

int TodoListScanner::ReadBoardTail(TodoEntry* e) {
    e->subName = CountedString(kSubNameCapacity);
    SkipByte();
    SkipToDoubleZero();
    SkipByte();
    return FileNameRun(&e->fileName, &e->fileNameCut);
}

int TodoListScanner::ReadMailTail(TodoEntry* e) {
    SkipByte();
    e->subName = CountedString(kSubNameCapacity);
    SkipByte();
    SkipByte();
    for (int i = 0; i < 3; ++i) CountedSkip();
    SkipByte();
    SkipByte();
    const int end = FileNameRun(&e->fileName, &e->fileNameCut);
    e->trace = AsText(e->kindName) + " " + AsText(e->subName) + " ";
    return end;
}

bool TodoListScanner::Next(TodoEntry* entry) {
    for (;;) {
        const int b = in_.Get();
        if (b == ByteReader::kEnd) return false;
        if (markerState_ != kMarkerDone) {
            FeedMarker(b);
            continue;
        }
        // b is the length byte of the kind name.
        TodoEntry e;
        std::string raw;
        for (int i = 0; i < b; ++i) {
            const int c = in_.Get();
            if (c == ByteReader::kEnd) break;
            if (raw.size() < kKindNameCapacity) raw.push_back(static_cast<char>(c));
        }
        e.kindName = AsText(raw);
        int terminator;
        if (!e.kindName.empty() && (e.kindName[0] == 'F' || e.kindName[0] == 'S')) {
            e.kind = EntryKind::kFileTransfer;
            terminator = ReadFileTransferTail(&e);
        } else if (e.kindName == "PATIO" || e.kindName == "HP") {
            e.kind = e.kindName == "HP" ? EntryKind::kHp : EntryKind::kPatio;
            terminator = ReadBoardTail(&e);
        } else if (e.kindName == "MAIL") {
            e.kind = EntryKind::kMail;
            terminator = ReadMailTail(&e);
        } else {
            // Unknown kind: scanning resumes after its name, and its length byte
            // counts as the first byte seen by a fresh matcher.
            markerState_ = 0;
            FeedMarker(b);
            continue;
        }
        markerState_ = 0;
        if (terminator != ByteReader::kEnd) FeedMarker(terminator);
        *entry = std::move(e);
        return true;
    }
}

}  // namespace tidewell
