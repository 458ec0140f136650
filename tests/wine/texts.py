"""The texts the tool must show, written here in UTF-8 and compared as the
code page 932 bytes the boxes really hold."""

import re


def cp932(text):
    return text.encode("cp932")


CAPTION = cp932("Quenlit")
ERROR_CAPTION = cp932("アプリケーション エラー")

NOT_FOUND = cp932("サーバ情報ファイル(board.2ch)が見つかりませんでした。\r\n"
                  "Quenlit.exe を Ostra.Exe と同じ場所にコピーして実行して下さい。")
NO_BLACK = cp932("サーバ情報ファイル内に 'clBlack' が見つかりませんでした。\r\n何もせずに終了します。")
NO_CHANGE = cp932("板名文字色が黒色('clBlack')である板は、見つかりませんでした。\r\n何もせずに終了します。")


def read_failed(path):
    return cp932("サーバ情報ファイル" + path + "の読み込みに失敗しました。\r\n書換処理を続行できません。")


def fixed(count):
    return cp932(f"{count} 件、修正しました。")


def read_only_question(path):
    return cp932("サーバ情報ファイル " + path + " は読み取り専用になっているようです。\r\n"
                 "全ての属性を解除して、文字色の修正を反映させますか？")


def backup_question(path, verb):
    return cp932("バックファイル " + path + "_QlBack を" + verb + "できませんでした。\r\n"
                 "このまま続行しても構いませんか？\r\n\r\n"
                 "[はい(Y)] を押すと、バックアップを" + verb + "せずにサーバ情報ファイルを書き換えます。\r\n"
                 "[いいえ(N)] を押すと、処理を中止します。\u3000（ファイル書換は行いません）")


def write_failed(path):
    return cp932("サーバ情報ファイル" + path + "への書き込みに失敗しました。")


def cannot_open_report(path):
    """The last-resort report for a file that cannot be opened: the code
    address is any eight upper-case hex digits."""
    return re.compile(re.escape(cp932("EFOpenError") + cp932("がモジュール Quenlit.exe の "))
                      + rb"[0-9A-F]{8}"
                      + re.escape(cp932(" で発生しました。") + b"\n"
                                  + cp932("ファイル " + path + " は開けません."))
                      + rb"\Z", re.DOTALL)
