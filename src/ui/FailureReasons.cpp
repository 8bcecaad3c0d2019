#include "ui/FailureReasons.h"

#include <QStringList>
#include <vector>

namespace tidewell {
namespace {

struct Wording {
    const char* english;   // %1.. stand for names, system texts or other reasons
    const char* japanese;  // the same placeholders
};

// Composite wordings first, then the longer of two that share a beginning.
const Wording kWordings[] = {
    {"%1; %2 could not be removed: %3", "%1。%2 を削除できませんでした: %3"},
    {"converted, but %1", "変換しましたが、%1"},
    {"backup failed: %1", "バックアップに失敗しました: %1"},
    {"not found", "見つかりません"},
    {"the name is longer than 255 bytes and was cut; not converted",
     "名前が 255 バイトを超えて切れているので変換しませんでした"},
    {"not a regular file; skipped", "通常のファイルではないので飛ばしました"},
    {"not a regular file", "通常のファイルではありません"},
    {"is the to-do list itself; skipped", "ToDo リストそのものなので飛ばしました"},
    {"no write permission; left as it is", "書き込み権限がないのでそのままにしました"},
    {"bears the scratch file's own name; skipped", "作業ファイルと同じ名前なので飛ばしました"},
    {"is the backup archive itself; skipped", "バックアップ書庫そのものなので飛ばしました"},
    {"the log itself bears the scratch file's name", "ログ自体が作業ファイルの名前です"},
    {"interrupted; left as it was", "中断したので元のままです"},
    {"log changed during conversion; left as it is",
     "変換中にログが変わったのでそのままにしました"},
    {"log vanished during conversion: %1", "変換中にログがなくなりました: %1"},
    {"error reading the to-do list: %1", "ToDo リストの読み込みエラー: %1"},
    {"read error: %1", "読み込みエラー: %1"},
    {"cannot open the folder %1: %2", "フォルダー %1 を開けません: %2"},
    {"cannot open the archive: %1", "書庫を開けません: %1"},
    {"cannot open: %1", "開けません: %1"},
    {"cannot examine the archive: %1", "書庫の状態を調べられません: %1"},
    {"cannot examine: %1", "状態を調べられません: %1"},
    {"cannot examine %1: %2", "%1 の状態を調べられません: %2"},
    {"cannot check the write permission: %1", "書き込み権限を確かめられません: %1"},
    {"cannot write the converted copy: %1", "変換したコピーを書き込めません: %1"},
    {"cannot write the archive: %1", "書庫に書き込めません: %1"},
    {"cannot write %1: %2", "%1 に書き込めません: %2"},
    {"closing failed: %1", "閉じられません: %1"},
    {"cannot create %1: %2", "%1 を作れません: %2"},
    {"cannot lock the folder %1: %2", "フォルダー %1 をロックできません: %2"},
    {"cannot lock %1: %2", "%1 をロックできません: %2"},
    {"the folder %1 is in use by another conversion", "フォルダー %1 は別の変換が使用中です"},
    {"cannot remove %1, a second name of another file: %2",
     "別のファイルのもう一つの名前 %1 を削除できません: %2"},
    {"cannot remove %1: %2", "%1 を削除できません: %2"},
    {"cannot empty %1: %2", "%1 を空にできません: %2"},
    {"cannot keep the log's owner and group: %1", "ログの所有者とグループを保てません: %1"},
    {"cannot set permissions: %1", "アクセス権を設定できません: %1"},
    {"cannot flush the archive: %1", "書庫をディスクに書き出せません: %1"},
    {"cannot flush the folder of %1: %2", "%1 のフォルダーをディスクに書き出せません: %2"},
    {"cannot flush %1: %2", "%1 をディスクに書き出せません: %2"},
    {"the folder could not be flushed: %1", "フォルダーをディスクに書き出せません: %1"},
    {"cannot replace log: %1", "ログを置き換えられません: %1"},
    {"cannot replace %1: %2", "%1 を置き換えられません: %2"},
    {"cannot follow the symbolic link: %1", "シンボリックリンクをたどれません: %1"},
    {"cannot read %1: %2", "%1 を読めません: %2"},
    {"cannot prepare %1: %2", "%1 を準備できません: %2"},
    {"cannot keep the archive's owner: %1", "書庫の所有者を保てません: %1"},
    {"cannot keep the archive's permissions: %1", "書庫のアクセス権を保てません: %1"},
    {"cannot reopen the archive: %1", "書庫を開き直せません: %1"},
    {"cannot add to %1: %2", "%1 に追加できません: %2"},
    {"cannot add %1: %2", "%1 を書庫に追加できません: %2"},
    {"cannot set up %1: %2", "書庫の %1 を設定できません: %2"},
    {"archive fails its check: %1", "書庫の検査に失敗しました: %1"},
    {"member %1 missing after writing", "書き込んだ後の書庫に %1 がありません"},
    {"member %1 cannot be read back: %2", "書庫の %1 を読み戻せません: %2"},
    {"member %1 does not match the file", "書庫の %1 がファイルと一致しません"},
    {"unsupported archiver command", "対応していない書庫コマンドです"},
    {"unsupported switch %1", "対応していないスイッチです: %1"},
    {"archive or file name missing", "書庫名かファイル名がありません"},
    {"network (UNC) names are not supported", "ネットワーク (UNC) の名前には対応していません"},
    {"drive %1 is not mapped (no Wine prefix: set WINEPREFIX)",
     "ドライブ %1 が割り当てられていません（Wine のプレフィックスがありません。WINEPREFIX "
     "を設定してください）"},
    {"drive %1 is not mapped (no folder %2)",
     "ドライブ %1 が割り当てられていません（フォルダー %2 がありません）"},
    {"ambiguous name: %1 holds both %2 and %3",
     "名前があいまいです: %1 に %2 と %3 の両方があります"},
};

// Splits "a %1 b %2" into the literal pieces {"a ", " b ", ""}.
std::vector<std::string> Pieces(const std::string& pattern) {
    std::vector<std::string> pieces(1);
    for (size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == '%' && i + 1 < pattern.size() && pattern[i + 1] >= '1' &&
            pattern[i + 1] <= '9') {
            pieces.emplace_back();
            ++i;
        } else {
            pieces.back() += pattern[i];
        }
    }
    return pieces;
}

// The placeholders' values when text has this wording. The pieces are found
// from the end: the values nearest the start (reasons, names) may hold the
// separators, the system's error texts at the end do not.
bool Match(const std::string& text, const std::string& pattern, std::vector<std::string>* values) {
    const std::vector<std::string> pieces = Pieces(pattern);
    const std::string& first = pieces.front();
    const std::string& last = pieces.back();
    if (pieces.size() == 1) return text == first;
    if (text.size() < first.size() + last.size() || text.compare(0, first.size(), first) != 0 ||
        text.compare(text.size() - last.size(), last.size(), last) != 0) {
        return false;
    }
    size_t end = text.size() - last.size();  // where the current value ends
    std::vector<std::string> found;
    for (size_t i = pieces.size() - 2; i >= 1; --i) {
        const std::string& piece = pieces[i];
        if (piece.size() > end) return false;
        const size_t at = text.rfind(piece, end - piece.size());
        if (at == std::string::npos || at < first.size()) return false;
        found.insert(found.begin(), text.substr(at + piece.size(), end - at - piece.size()));
        end = at;
    }
    found.insert(found.begin(), text.substr(first.size(), end - first.size()));
    *values = std::move(found);
    return true;
}

}  // namespace

QString JapaneseReason(const std::string& reason) {
    for (const Wording& w : kWordings) {
        std::vector<std::string> values;
        if (!Match(reason, w.english, &values)) continue;
        // Values may themselves be reasons ("converted, but ..."); a name
        // holding "%2" must not be taken for a placeholder, hence one pass.
        const std::string japanese = w.japanese;
        QString text;
        size_t from = 0;
        for (size_t i = 0; i < japanese.size(); ++i) {
            if (japanese[i] != '%' || i + 1 >= japanese.size()) continue;
            const size_t n = size_t(japanese[i + 1] - '1');
            if (n >= values.size()) continue;
            text += QString::fromUtf8(japanese.substr(from, i - from)) + JapaneseReason(values[n]);
            from = i + 2;
            ++i;
        }
        return text + QString::fromUtf8(japanese.substr(from));
    }
    return QString::fromStdString(reason);
}

}  // namespace tidewell
