#include "support/expected_texts.h"

#include "support/temp_folder.h"

namespace expected {

std::string NotFound() {
  return Sjis(
      "サーバ情報ファイル(board.2ch)が見つかりませんでした。\r\n"
      "Quenlit.exe を Ostra.Exe と同じ場所にコピーして実行して下さい。");
}
std::string ReadFailed(const std::string& path) {
  return Sjis("サーバ情報ファイル" + path +
              "の読み込みに失敗しました。\r\n書換処理を続行できません。");
}
std::string NoChange() {
  return Sjis(
      "板名文字色が黒色('clBlack')である板は、見つかりませんでした。\r\n何もせずに終了します。");
}
std::string ReadOnlyQuestion(const std::string& path) {
  return Sjis("サーバ情報ファイル " + path +
              " は読み取り専用になっているようです。\r\n"
              "全ての属性を解除して、文字色の修正を反映させますか？");
}
std::string AttributesFailed() {
  return Sjis("属性変更に失敗しました。現在のファイル属性を確認して下さい。");
}
std::string BackupQuestion(const std::string& verb, const std::string& path) {
  return Sjis("バックファイル " + path + "_QlBack を" + verb +
              "できませんでした。\r\nこのまま続行しても構いませんか？\r\n\r\n"
              "[はい(Y)] を押すと、バックアップを" +
              verb +
              "せずにサーバ情報ファイルを書き換えます。\r\n"
              "[いいえ(N)] を押すと、処理を中止します。\u3000（ファイル書換は行いません）");
}
std::string WriteFailed(const std::string& path) {
  return Sjis("サーバ情報ファイル" + path + "への書き込みに失敗しました。");
}
std::string Closing(int count) { return Sjis(std::to_string(count) + " 件、修正しました。"); }
std::string OpenErrorReport() { return "EFOpenError" + Sjis("がモジュール Quenlit.exe の "); }
std::string OutOfMemoryReport() { return "EOutOfMemory" + Sjis("がモジュール Quenlit.exe の "); }

}  // namespace expected
