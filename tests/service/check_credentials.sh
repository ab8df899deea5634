#!/usr/bin/env bash
# The user and password of the URL reach the server as they are meant (percent escapes decoded), while
# history.log, the manifest, the program's output and the desktop notices show them masked. Notices on a private
# session bus (notices.sh).
source "$(dirname "$0")/notices.sh" "$@"
host=127.0.0.1:$(cat "$work/port")

while IFS='|' read -r name userinfo path keys status sent masked hidden; do
  url=http://$userinfo@$host/$path shown=http://$masked@$host/$path
  profile "$name" "$url" $keys; once "$name"
  [ $rc = "$status" ] || fail "$name: status $rc"
  grep -qxF "/$path Basic $(printf %s "$sent" | base64)" "$work/port.log" ||
    fail "$name: the server got $(grep "^/$path " "$work/port.log")"
  [ "$(cut -f8 "$work/$name/history.log")" = "$shown" ] && cat "$work/$name.out" "$work/$name.err" | grep -qF ", $shown" &&
    grep -qF "\" \"$shown" "$work/notices" || fail "$name: not shown as $shown"
  for word in $hidden; do
    ! grep -qsF "$word" "$work/$name.out" "$work/$name.err" "$work/$name"/*.log "$work/$name"/copies.* "$work/notices" ||
      fail "$name: $word shown"
  done
done <<'TABLE'
plain|user:secret|f/a.txt|Notify=2|0|user:secret|user:***|secret
escaped|user:p%40ss%3Aw%C3%B6rd|f/b.txt|Notify=2|0|user:p@ss:wörd|user:***|p%40ss p@ss
token|t0ken|503/c.txt|ShowErrors=1|1|t0ken:|***|t0ken
TABLE
echo ok
