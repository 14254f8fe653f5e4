// ページに出る言葉の日本語版。キーは strings-en.js と同じ（i18n.js）。関数は名前付きの値を受け取る。

const n = (value) => Number(value).toLocaleString('ja');

const FAILURE_MEANINGS = {
  usage: 'アーカイブが指定されていません。',
  openInput: 'ファイルを読み込めません。',
  createOutput: 'ファイルを作成できません。',
  convert: 'このファイルは変換できません。',
};

const FIRST_ENTRY = {
  noEntry: 'アーカイブではありません（先頭がエントリーになっていません）。',
  cutShort: 'ファイルが途中で切れています（最初のエントリーの途中で終わっています）。',
  notConvertible: '最初のエントリーは varnu が変換できるビットマップではありません。',
  unreadable: '読み込みに失敗しました。',
  noMemory: '最初のエントリーを処理するためのメモリーが足りませんでした。',
  tooManyEntries: 'varnu がファイル名を付けられる数より多くのエントリーがあります。',
};

const LATER_ENTRY = {
  cutShort: (next) => `${next} になるはずのエントリーの途中でアーカイブが切れています`,
  notConvertible: (next) =>
    `${next} になるはずのエントリーは varnu が変換できるビットマップではありません`,
  unreadable: (next) => `${next} になるはずのエントリーで読み込みに失敗しました`,
  noMemory: (next) => `${next} になるはずのエントリーを処理するためのメモリーが足りませんでした`,
  tooManyEntries: () => 'varnu がファイル名を付けられる数より多くのエントリーがあります',
  noEntry: (next) => `${next} になるはずのエントリーが壊れています`,
};

const replacedBy = (file) =>
  `${file} に差し替えました。「アーカイブを保存」でパックしたあと varnu が書き出すとおりに表示しています。`;

export const ja = {
  title: 'varnu: 画像アーカイブの中身を見る・保存する',
  language: '表示言語',
  intro: '画像アーカイブを開くと、中の画像をすべて表示し、varnu コマンドが書き出すのと同じファイル' +
    'として保存できます。編集した画像をアーカイブに詰め直すこともできます。ファイルがこのコンピュー' +
    'ターの外へ送られることはありません。',
  'archives.heading': 'アーカイブ',
  'archives.open': 'アーカイブを開く…',
  'archives.drop': 'またはこのページのどこかにアーカイブをドロップ',
  halfWidth: '幅を半分に',
  'halfWidth.hint': 'どの画像も幅を半分にしたフルカラーで表示・保存します（varnu の半幅出力と同じ）。',
  saveAllAs: '一括保存の形式',
  'saveAllAs.hint': '「すべて保存」で作る ZIP に入れるファイルの形式です。',

  'gallery.converting': ({ name }) => `${name} を変換中`,
  'gallery.pictures': ({ count }) => `${n(count)} 枚`,
  'gallery.picturesSoFar': ({ count }) => `${n(count)} 枚（読み込み中）`,
  'gallery.cannotWork': ({ name, reason }) => `${name}: このページでは変換できません（${reason}）。`,
  'gallery.workerStopped': ({ name, reason }) => `${name}: 処理が止まったため（${reason}）、この` +
    'ページでは変換できません。開き直すともう一度試せます。ほかのアーカイブには影響しません。',
  'gallery.picturesStopped': ({ name, reason }) => `${name}: 画像の作成が止まりました（${reason}）。` +
    'これから表示する画像は作り直します。表示されなかった画像は、アーカイブを開き直すと表示されます。',
  'failure.meaning': ({ name, kind }) =>
    `${name}: ${FAILURE_MEANINGS[kind] || FAILURE_MEANINGS.convert}`,
  'failure.empty': 'ファイルが空です。',
  'failure.first': ({ reason }) => FIRST_ENTRY[reason] || FIRST_ENTRY.noEntry,
  'failure.later': ({ reason, next, count }) =>
    `${(LATER_ENTRY[reason] || LATER_ENTRY.noEntry)(next)}。その前の ${n(count)} 枚を表示しています。`,
  // Between two sentences.
  gap: '',
  'failure.varnuSays': 'varnu の出力:',

  'card.view': ({ name }) => `${name} を拡大表示`,
  'card.flipped': '⇅ 上下反転',
  'card.reduced': 'ブラウザーで描けない大きさのため縮小して表示',
  'card.replaced': ({ file }) => `${file} に差し替え`,
  'card.sizeChanged': ({ width, height }) => `大きさが変わります（元の画像は ${n(width)} × ${n(height)}）`,
  'card.unchanged': '元のエントリーと同じ内容のため、エントリーはそのまま残ります',
  'card.patched': ({ patch }) => `${patch} で変更`,
  'card.noPicture': ({ reason }) => `画像を表示できません: ${reason}。`,

  'saveAll.button': 'すべて保存',
  'saveAll.saving': ({ name }) => `${name} を保存中`,
  'saveAll.progress': ({ done, count }) => `${n(count)} ファイル中 ${n(done)} ファイル`,
  'saveAll.cancel': '中止',
  'saveAll.cancelLabel': ({ name }) => `${name} の保存を中止`,
  'saveAll.cancelled': ({ name }) => `${name}: 一括保存を中止しました。何も保存していません。`,
  'saveAll.saved': ({ name, count }) => `${name} の ${n(count)} ファイルを ZIP にまとめて保存しました。`,
  'saveAll.failed': ({ name, reason }) => `${name}: 何も保存できませんでした（${reason}）。画像は` +
    'このまま表示されています。もう一度試すか、1 枚ずつ保存してください。',

  'replace.save': 'アーカイブを保存',
  'replace.hint': '編集した画像でアーカイブを保存するには、画像を開いて「差し替える…」を使います。',
  'replace.hintFailed': 'このアーカイブは最後まで開けなかったため、画像を差し替えて保存することはできません。',
  'replace.packing': ({ name }) => `${name} をパックしています…`,
  'replace.saved': ({ name, count }) =>
    `${name} を保存しました（差し替え ${n(count)} 枚、ほかのエントリーはそのまま）。`,
  'replace.notSaved': ({ name }) => `${name} は保存されませんでした。varnu-pack が受け付けなかったもの:`,
  'replace.failed': ({ name, reason }) => `${name}: アーカイブは保存されませんでした（${reason}）。`,

  'patch.save': 'パッチを保存',
  'patch.apply': 'パッチを当てる…',
  'patch.making': ({ name }) => `${name} のパッチを作っています…`,
  'patch.saved': ({ name, size, count }) => `${name} を保存しました（${n(size)} バイト、` +
    `差し替え ${n(count)} 枚分）。VCDIFF 形式なので、どのパッチツール（xdelta3 -d など）でも元の` +
    'アーカイブに当てられます。',
  'patch.applying': ({ name, patch }) => `${name} に ${patch} を当てています…`,
  'patch.refused': ({ name, patch }) => `${patch} は ${name} に当てられませんでした。何も変わって` +
    'いません。varnu-pack が受け付けなかった理由:',
  'patch.failed': ({ name, reason }) => `${name}: パッチは当てられませんでした（${reason}）。`,
  'patch.heading': ({ name, patch }) => `${name}（${patch} を当てたもの）`,
  'patch.applied': ({ name, patch, count }) =>
    `${name} に ${patch} を当てました。変わった画像 ${n(count)} 枚に印を付けています。`,
  'patch.savedPatched': ({ name }) => `パッチを当てたままの ${name} を保存しました。`,

  'viewer.close': '閉じる',
  'viewer.previous': '前へ',
  'viewer.next': '次へ',
  'viewer.saveBmp': 'BMP で保存',
  'viewer.savePng': 'PNG で保存',
  'viewer.replace': '差し替える…',
  'viewer.putBack': '元に戻す',
  'viewer.palette': ({ count }) => `パレット: ${n(count)} 色`,
  'viewer.alt': ({ name, width, height }) => `${name}（${width} × ${height}）`,
  'viewer.flipped': '⇅ varnu はこの画像を上下反転して書き出します（パレットの 0 番が緑のため）。',
  'viewer.reduced': ({ factor, width, height }) => `ブラウザーは ${n(width)} × ${n(height)} ピク` +
    `セルの画像を描けないため、1/${factor} に縮小して表示しています。「BMP で保存」では元の大きさのまま保存します。`,
  'viewer.replaced': ({ file }) => replacedBy(file),
  'viewer.replacedSized': ({ file, width, height }) =>
    `${replacedBy(file)}元の画像（${n(width)} × ${n(height)}）とは大きさが異なります。`,
  'viewer.mapped': ({ file, moved, mean, largest }) => `${file} にはこのエントリーのパレットにない` +
    '色があるため、varnu-pack --remap と同じ方法でパレットの色に置き換えました。' +
    `色が変わったピクセルは ${n(moved)} 個、色差（CIEDE2000）は平均 ${mean}、最大 ${largest} です。` +
    '表示しているのは置き換えた後の画像で、「アーカイブを保存」はこのとおり置き換えて格納します。',
  'viewer.edited': ({ file }) => `編集したままの画像：${file}`,
  'viewer.editedAlt': ({ file }) => `${file}（置き換える前の、編集したままの画像）`,
  'viewer.showMoved': '色が変わったピクセルを表示',
  'viewer.savesReplacement': () => '「BMP で保存」と「PNG で保存」は、パックしたエントリーから' +
    ' varnu が書き出す差し替え後の画像を保存します。',
  'viewer.replaceFailed': '差し替えは、最後まで開けたアーカイブでのみ使えます。',
  'viewer.checking': ({ file }) => `${file} をこのエントリーに使えるか確認しています…`,
  'viewer.cannotCheck': ({ file, reason }) => `${file} を確認できませんでした: ${reason}。`,
  'viewer.cannotShow': ({ name, reason }) => `${name} を表示できません: ${reason}。`,
  'viewer.cannotSave': ({ name, reason }) => `${name} を保存できません: ${reason}。`,
  'viewer.cannotSavePng': ({ name, reason }) =>
    `${name} を PNG で保存できません: ${reason}。BMP でなら保存できます。`,

  'facts.position': '番号',
  'facts.of': ({ n: k, count }) => `${n(count)} 枚中 ${n(k)} 枚目`,
  'facts.offset': 'アーカイブ内の位置',
  'facts.packedSize': '圧縮後のサイズ',
  'facts.unpackedSize': '展開後のサイズ',
  'facts.fileSize': 'varnu が書き出すファイルのサイズ',
  'facts.flipped': '上下反転',
  'facts.yes': 'あり',
  'facts.no': 'なし',
  'facts.bytes': ({ n: count }) => `${n(count)} バイト`,
  'facts.replacedBy': '差し替え',
  'facts.plain': ({ text }) => text,
  'facts.replacementSides': 'パック後の大きさ',
  'facts.sides': ({ width, height }) => `${n(width)} × ${n(height)}`,
  'facts.replacementFile': 'パック後に varnu が書き出すファイルのサイズ',

  'pack.heading': 'アーカイブを作る',
  'pack.intro': 'ビットマップまたは PNG の画像を、選んだ順に（ここへドロップした場合は名前順に）1 枚' +
    'ずつエントリーにして、新しいアーカイブを作ります。元のアーカイブを指定すると、各画像はその' +
    'エントリーのヘッダー、解像度、向きを引き継ぎ、変更のない画像のエントリーはそのまま使われます。' +
    'アーカイブの一部の画像だけを変えるときは、画像の拡大表示で「差し替える…」を使ってから' +
    '「アーカイブを保存」を押してください。',
  'pack.pictures': '画像を選ぶ…',
  'pack.original': '元のアーカイブ…',
  'pack.pack': 'パックする',
  'pack.originalChosen': ({ name }) => `元のアーカイブ: ${name}`,
  'pack.nothingChosen': '先にパックする画像を選んでください。',
  'pack.packed': ({ count, name }) => `${n(count)} 枚の画像を ${name} にパックしました。`,
  'pack.failed': ({ reason }) => `パックできませんでした: ${reason}`,
  'pack.folder': ({ name }) => `${name} はフォルダーです。中の画像を選ぶかドロップしてください。`,
  'pack.refusalLead': 'varnu-pack はこのファイルを受け付けません。原文: ',
  'pack.warningLead': 'varnu-pack からの注意。原文: ',

  'problem.unreadable': '読み込めなくなりました（開いたあとに移動・変更・削除されています）',
  'problem.changed': '開いたあとに変更されています。開き直してください',
  'problem.noMemory': 'メモリーが足りません',
  'problem.zipTooLarge': 'ZIP が 4 GiB を超えてしまいます（この形式の ZIP には収まりません）',
  'problem.notBitmap': 'ブラウザーで表示できるビットマップではありません',
  'stopped.worker': '作業用のワーカーが止まりました',
  'stopped.message': 'ワーカーからのメッセージを読めませんでした',
  'stopped.silent': 'ワーカーが応答しなくなりました',
};
