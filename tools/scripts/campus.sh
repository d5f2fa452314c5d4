#!/usr/bin/env bash
# The campus service without hardware, on 127.0.0.1 (./run --campus [ROOMS]):
# ROOMS simulated rooms (default 6; virtual controllers' pseudo-terminals,
# all behind one ser2net, each room with a simulated projector that follows
# its controller's 投影机开 and 投影机关), a mosquitto broker, and `lumo serve` with a
# configuration written to build/campus/ (the rooms, a user with a fresh
# password, a token, the broker with accounts and access rules). What each
# room receives, the MQTT topics (mosquitto_sub -v) and the service's log
# show here as they come; Ctrl+C ends everything.
#
# With no display it takes a tour in headless Chromium instead: logs in,
# opens the first room's panel and taps 投影机开, then switches every room's
# projector off (投影机关) from the rooms page with its confirmation; keeps
# screenshots in build/campus/ and succeeds only if the first room received
# exactly "c" then "d" and every other room exactly "d".
set -euo pipefail
cd "$(dirname "$0")/../.."
build="${LUMO_BUILD_DIR:-build}"
out="$build/campus"
rooms="${1:-6}"
[[ "$rooms" =~ ^[0-9]+$ ]] && ((rooms >= 1 && rooms <= 200)) ||
    { echo "campus: give the number of rooms, 1 to 200" >&2; exit 2; }
source tools/scripts/processes.sh

say() { echo "campus: $*"; }
fail() {
    echo "campus: FAILED: $*" >&2
    [ -s "$out/serve.log" ] && { echo "campus: the service's log:" >&2; tail -n 20 "$out/serve.log" | sed 's/^/    /' >&2; }
    exit 1
}
trap stop_started EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

nonempty() { [ -s "$1" ]; }
# Whether something listens on 127.0.0.1:$1, from the kernel's table.
listening() { grep -qE "^ *[0-9]+: 0100007F:$(printf '%04X' "$1") [0-9A-F:]+ 0A" /proc/net/tcp; }
# $1 TCP ports on 127.0.0.1, all different, written to the file $2: a
# process of ours holds them (bound with SO_REUSEADDR, not listening) until
# the end, so that no other program takes one before our servers listen.
hold_ports() {
    python3 -c 'import signal, socket, sys
held = [socket.socket() for _ in range(int(sys.argv[1]))]
for s in held:
    s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    s.bind(("127.0.0.1", 0))
print(" ".join(str(s.getsockname()[1]) for s in held), flush=True)
signal.pause()' "$1" >"$2" &
    pids+=($!)
    wait_for 10 nonempty "$2" || fail "no free ports on 127.0.0.1"
}
secret() { head -c "$1" /dev/urandom | base64 | tr '+/' '-_' | tr -d '=\n'; }

python=/usr/bin/python3 # Debian's, with python3-selenium, not one of the user's own
[ -x "$python" ] || python=python3
for tool in ser2net mosquitto mosquitto_sub python3; do
    command -v "$tool" >/dev/null || [ -x "/usr/sbin/$tool" ] || fail "$tool is not installed"
done
[ -x "$build/lumo" ] && [ -x "$build/lumo-vc" ] && [ -x "$build/lumo-projector" ] ||
    fail "build $build/lumo, $build/lumo-vc and $build/lumo-projector first"
rm -rf "$out"
mkdir -p "$out"
hold_ports $((rooms + 2)) "$out/ports"
read -r -a ports <"$out/ports"
web_port=${ports[rooms]}
mqtt_port=${ports[rooms + 1]}

# The rooms: two per virtual controller (its COM1 and COM2), each port on an
# RFC 2217 accepter of one ser2net. vcK:COMn → room, for the output below.
ids=()
map=""
declare -A room_of
yaml=$'%YAML 1.1\n---\n'
for ((k = 0; k < (rooms + 1) / 2; k++)); do
    "$build/lumo-vc" --dir "$out/vc$k" >"$out/vc$k.log" 2>&1 &
    pids+=($!)
    wait_for 10 nonempty "$out/vc$k.log" || fail "the virtual controller did not start"
    assignments=$(head -n1 "$out/vc$k.log")
    [[ "$assignments" == LUMO_COM1=* ]] || fail "the virtual controller said: $assignments"
    eval "$assignments"
    for n in 1 2; do
        i=$((2 * k + n - 1))
        ((i < rooms)) || break
        device="LUMO_COM$n"
        ids+=("r$((101 + i))")
        map+="vc$k:COM$n r$((101 + i)) "
        # The room's projector: switched by what this controller port receives.
        "$build/lumo-projector" --follow "$out/vc$k.log" --follow-port "COM$n" --warm-up 15 \
            --cool-down 20 >"$out/projector-r$((101 + i)).log" 2>&1 &
        pids+=($!)
        room_of[vc$k:COM$n]=r$((101 + i))
        yaml+="connection: &r$((101 + i))"$'\n'
        yaml+="  accepter: telnet(rfc2217),tcp,127.0.0.1,${ports[i]}"$'\n'
        yaml+="  connector: serialdev,${!device},9600n81,local"$'\n'
    done
done
printf '%s' "$yaml" >"$out/ser2net.yaml"
ser2net -n -u -c "$out/ser2net.yaml" -P "$out/ser2net.pid" >"$out/ser2net.log" 2>&1 &
pids+=($!)
for ((i = 0; i < rooms; i++)); do
    wait_for 15 listening "${ports[i]}" || fail "ser2net does not serve room ${ids[i]}: $(tail -n3 "$out/ser2net.log")"
done
projector=()
for ((i = 0; i < rooms; i++)); do
    wait_for 10 nonempty "$out/projector-${ids[i]}.log" || fail "the projector of ${ids[i]} did not start"
    line=$(head -n1 "$out/projector-${ids[i]}.log")
    [[ "$line" == LUMO_PJLINK=* ]] || fail "the projector of ${ids[i]} said: $line"
    projector+=("${line#LUMO_PJLINK=}")
done
say "rooms ${ids[0]}…${ids[rooms - 1]} behind ser2net on 127.0.0.1 ($out/ser2net.yaml)"

# The broker as the README asks: accounts only, each publishing only its
# own (the service its status, rooms and its rooms' topics; commands only
# the publisher "campus-pub"; "campus-watch" only reads).
service_id=lumo-serve-campus
mqtt_service_password=$(secret 18)
mqtt_pub_password=$(secret 18)
mqtt_watch_password=$(secret 18)
(umask 077
 : >"$out/mosquitto.passwd"
 mosquitto_passwd -b "$out/mosquitto.passwd" "$service_id" "$mqtt_service_password"
 mosquitto_passwd -b "$out/mosquitto.passwd" campus-pub "$mqtt_pub_password"
 mosquitto_passwd -b "$out/mosquitto.passwd" campus-watch "$mqtt_watch_password"
 printf '%s\n' "$mqtt_service_password" >"$out/mqtt-password"
 printf '%s\n' "$mqtt_pub_password" >"$out/mqtt-pub-password") 2>/dev/null ||
    fail "mosquitto_passwd could not write the broker's accounts"
{
    echo "user $service_id"
    echo "topic readwrite lumo/service/$service_id/#"
    echo "topic read lumo/service/+/status"
    echo "topic read lumo/service/+/rooms"
    for id in "${ids[@]}"; do
        echo "topic readwrite lumo/$id/command"
        echo "topic write lumo/$id/result"
        echo "topic write lumo/$id/state"
    done
    echo "topic write homeassistant/#"
    echo
    echo "user campus-pub"
    echo "topic write lumo/+/command"
    echo "topic read lumo/#"
    echo
    echo "user campus-watch"
    echo "topic read lumo/#"
} >"$out/mosquitto.acl"
{
    echo "listener $mqtt_port 127.0.0.1"
    echo "persistence false"
    echo "allow_anonymous false"
    echo "password_file $PWD/$out/mosquitto.passwd"
    echo "acl_file $PWD/$out/mosquitto.acl"
    if [ "$(id -u)" -eq 0 ]; then
        echo "user root" # it would switch to a user who cannot read build/
    fi
} >"$out/mosquitto.conf"
mosquitto -c "$out/mosquitto.conf" >"$out/mosquitto.log" 2>&1 &
pids+=($!)
wait_for 10 listening "$mqtt_port" || fail "mosquitto did not start: $(tail -n3 "$out/mosquitto.log")"
mosquitto_sub -h 127.0.0.1 -p "$mqtt_port" -u campus-watch -P "$mqtt_watch_password" -v -t 'lumo/#' >"$out/mqtt.log" 2>&1 &
pids+=($!)
say "mosquitto on 127.0.0.1:$mqtt_port"

user=campus
password=$(secret 12)
token_secret=$(secret 24)
token="campus-run.$token_secret" # NAME.SECRET: the service checks that one entry
(umask 077 && printf '%s\n' "$token" >"$out/token")
password_hash=$(printf '%s\n' "$password" | "$build/lumo" serve --hash-password)
token_hash=$(printf '%s\n' "$token_secret" | "$build/lumo" serve --hash-password)
schedule_at=$(date -d '+75 seconds' +%H:%M:%S)
{
    echo "[web]"
    echo "listen=127.0.0.1:$web_port"
    echo "[rooms]"
    for ((i = 0; i < rooms; i++)); do
        echo "${ids[i]}\\name=教学楼 $((101 + i))"
        echo "${ids[i]}\\device=rfc2217://127.0.0.1:${ports[i]}"
        echo "${ids[i]}\\projector=${projector[i]}"
    done
    echo "[projectors]"
    echo "poll=10"
    # Every room but the first is a group, which a schedule switches a
    # minute and a bit from now (the service's local time).
    echo "[groups]"
    echo "others=$(IFS=,; echo "${ids[*]:1}")"
    echo "[schedule]"
    echo "soon\\at=$schedule_at"
    echo "soon\\rooms=@others"
    echo "soon\\commands=screen-up"
    echo "[users]"
    echo "$user=$password_hash"
    echo "[tokens]"
    echo "campus-run=$token_hash"
    echo "[mqtt]"
    echo "broker=mqtt://127.0.0.1:$mqtt_port"
    echo "client_id=$service_id"
    echo "username=$service_id"
    echo "password_file=$PWD/$out/mqtt-password"
} >"$out/serve.conf"
chmod 600 "$out/serve.conf"
XDG_STATE_HOME="$out/state" "$build/lumo" serve --config "$out/serve.conf" >"$out/serve.log" 2>&1 &
serve_pid=$!
pids+=("$serve_pid")
serving() { kill -0 "$serve_pid" 2>/dev/null || fail "lumo serve ended"; listening "$web_port"; }
url="http://127.0.0.1:$web_port/"
page=yes
wait_for 20 serving || page=no

# What each room receives, the topics and the service's log, as they come.
show() {
    local f="" line port
    while IFS= read -r line; do
        case "$line" in
        "==> "*" <==") f=${line#==> } f=${f% <==} f=${f##*/} f=${f%.log}; continue ;;
        LUMO_COM1=* | "") continue ;;
        esac
        case "$f" in
        mqtt | serve) printf '%-6s %s\n' "$f" "$line" ;;
        vc*)
            read -r _ port _ <<<"$line"
            [ -n "${room_of[$f:$port]:-}" ] && printf 'room   %s\n' "${line/$port/${room_of[$f:$port]}}"
            ;;
        esac
    done
}
tail -n +1 -F "$out"/vc*.log "$out/mqtt.log" "$out/serve.log" 2>/dev/null > >(show) &
pids+=($!)

echo
if [ "$page" = no ]; then
    say "lumo serve runs, but this build serves no campus page on $url"
else
    say "the campus page:  $url"
fi
say "login:            $user / $password"
say "token:            $token   (also in $out/token)"
say "  e.g.  LUMO_TOKEN=$token $build/lumo send --server $url --room ${ids[0]} 投影机开"
say "MQTT:             mosquitto_pub -h 127.0.0.1 -p $mqtt_port -u campus-pub -P \$(cat $out/mqtt-pub-password) -t lumo/${ids[0]}/command -m projector-off"
echo

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
    say "Ctrl+C ends the rooms, the broker and the service"
    wait "$serve_pid" || true
    fail "lumo serve ended"
fi

# No display: the tour.
[ "$page" = yes ] || fail "no campus page to take the tour on"
say "no display: a tour in headless Chromium"
"$python" tools/scripts/campus_page.py tour "$url" "$user" "$password" "$out" ||
    fail "the tour did not go through (screenshots in $out/)"

# The schedule's run, in the history.
say "the schedule soon runs at $schedule_at in every room but ${ids[0]}"
fired() {
    curl -sf -H "Authorization: Bearer $token" "${url}api/v1/history?limit=1000" |
        grep -o '"face":"schedule"' | wc -l | grep -qx "$((rooms - 1))"
}
wait_for 150 fired || fail "the schedule did not run in every room of its group"
curl -sf -H "Authorization: Bearer $token" "${url}api/v1/schedules" >"$out/schedules.json"
say "the schedule ran: $(cat "$out/schedules.json" | head -c 300)"

# The bytes each room received, as "r101 cd" (in the order they came for the first room).
received() {
    awk -v map="$map" 'BEGIN { n = split(map, a, " "); for (i = 1; i < n; i += 2) room[a[i]] = a[i + 1] }
        FNR > 1 && $3 != "line" { f = FILENAME; sub(/.*\//, "", f); sub(/\.log$/, "", f)
                                  if ((f ":" $2) in room) got[room[f ":" $2]] = got[room[f ":" $2]] $3 }
        END { for (r in got) print r, got[r] }' "$out"/vc*.log | sort
}
expected() {
    local i
    for ((i = 0; i < rooms; i++)); do
        if ((i == 0)); then echo "${ids[i]} cd"; else echo "${ids[i]} du"; fi
    done | sort
}
arrived() { [ "$(received | wc -l)" -eq "$rooms" ] && ! received | grep -qv ' \(cd\|du\)$'; }
wait_for 20 arrived || true
sleep 1 # anything sent twice would come now
if [ "$(received)" != "$(expected)" ]; then
    echo "campus: expected:" >&2
    expected | sed 's/^/    /' >&2
    echo "campus: received:" >&2
    received | sed 's/^/    /' >&2
    fail "the rooms did not receive exactly the expected bytes"
fi
say "OK: ${ids[0]} received c then d, every other room d then the schedule's u, once each; screenshots in $out/"
