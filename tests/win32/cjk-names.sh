# Sourced by run-wine-test.sh: korvanelle.exe fetching a patient whose image names are
# Chinese code page 936 text, under a wine locale whose ANSI code page is not 936.
#   cjk_make_data SRC DIR   DIR: a copy of the data folder SRC plus patient P20001, whose
#                           markup and image files are named in code page 936
#   cjk_check_fetch DIR     runs korvanelle.exe and the Linux host's fetch of P20001 and
#                           checks the files, in a folder named in Chinese too (needs
#                           run_exe, check, linux_cli, port, work)

cjk_patient=P20001
# name in the document (UTF-8 here) | the sample file it is a copy of | the file fetch writes:
# ':' is made '_', and then the name taken first gets the plain file, the other a ~2; the
# fullwidth Ａ and ａ are one name on Windows (case-insensitive beyond ASCII).
cjk_images=(
  "胸部正位片.png|P10001_CT_1_1.png|胸部正位片.png"
  "头颅:平扫.png|P10001_CT_1_2.png|头颅_平扫.png"
  "头颅_平扫.png|P10001_CT_2_1.png|头颅_平扫~2.png"
  "Ａ超.png|P10001_MR_1_1.png|Ａ超.png"
  "ａ超.png|P10001_DX_1_1.png|ａ超~2.png"
)

cjk_make_data() {  # cjk_make_data SRC DIR
  local src="$1" dir="$2" entry name copy fields="" kind
  cp -r "$src" "$dir"
  for entry in "${cjk_images[@]}"; do
    IFS='|' read -r name copy _ <<<"$entry"
    fields+="<Field FieldName=\"图像\" FieldValue=\"$name\"/>"
    for kind in thumbs images; do
      cp "$src/$kind/$copy" "$dir/$kind/$(printf '%s' "$name" | iconv -f UTF-8 -t CP936)"
    done
  done
  printf '%s' "<?xml version=\"1.0\" encoding=\"GB2312\"?>
<ROOT><Patient Name=\"王芳\" ID=\"$cjk_patient\"><Fields><Text>
<Field FieldName=\"姓名\" FieldValue=\"王芳\"/></Text></Fields>
<Modality Name=\"CT\"><Study Name=\"胸部 2024-01-05\"><Fields><Image>$fields</Image></Fields>
</Study></Modality></Patient></ROOT>
" | iconv -f UTF-8 -t CP936 >"$dir/patients/$cjk_patient.xml"
}

cjk_check_fetch() {  # cjk_check_fetch DIR
  local dir="$1" out="$work/取回 $cjk_patient" linux="$work/fetched-cjk.linux" status=0 entry name copy file
  local different="" expected=""
  run_exe "$work/fetch-cjk.win" fetch "$cjk_patient" -o "$out" || status=$?
  check "$([ "$status" = 0 ]; echo $?)" \
    "korvanelle.exe fetch $cjk_patient (code page 936 image names): exit status $status"
  [ "$status" = 0 ] || cat "$work/fetch-cjk.win.err"
  "$linux_cli" --lib build/default/src/api/libKorvanelleClient.so --port "$port" \
    fetch "$cjk_patient" -o "$linux" >/dev/null
  check "$(cmp -s "$out/patient.json" "$linux/patient.json"; echo $?)" \
    "fetched $cjk_patient patient.json equals the Linux host's"
  # wine writes a UTF-16 name into this folder as its UTF-8 spelling.
  for entry in "${cjk_images[@]}"; do
    IFS='|' read -r name copy file <<<"$entry"
    expected+="images/$file thumbs/$file "
    for kind in thumbs images; do
      cmp -s "$dir/$kind/$copy" "$out/$kind/$file" || different+=" $kind/$file"
    done
  done
  expected="$(printf '%s\n' $expected | sort | tr '\n' ' ')"
  local written linux_written
  written="$(cd "$out" && find thumbs images -type f | sort | tr '\n' ' ')"
  linux_written="$(cd "$linux" && find thumbs images -type f | sort | tr '\n' ' ')"
  check "$([ -z "$different" ] && [ "$written" = "$expected" ]; echo $?)" \
    "fetched $cjk_patient: ${#cjk_images[@]} names as UTF-16 file names, byte-identical${different:+ (differ or missing:$different)}"
  [ "$written" = "$expected" ] || echo "    written: $written"
  check "$([ "$written" = "$linux_written" ]; echo $?)" "the same file names as the Linux host's"
}
