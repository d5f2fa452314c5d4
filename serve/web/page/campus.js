"use strict";
// The rooms page: each room's state and last command from
// GET /api/v1/rooms every few seconds, the counts by state, the rooms with
// a problem first; and the all-rooms action: a command, the rooms chosen
// (every room, a group's, or those ticked), a confirmation, then
// POST /api/v1/rooms/all/commands/C and each room's outcome, those not
// sent first.
(function () {
    var texts = JSON.parse(document.getElementById("texts").textContent);
    var $ = function (id) { return document.getElementById(id); };
    var names = {};
    var asked = null; // {letter, label, rooms, body} while the confirmation is open
    // What the action goes to: every room, a group, or the rooms ticked.
    var scope = { every: true, group: null };

    function two(n) { return (n < 10 ? "0" : "") + n; }

    function when(iso) {
        var at = new Date(iso);
        var now = new Date();
        var time = two(at.getHours()) + ":" + two(at.getMinutes());
        if (at.toDateString() === now.toDateString())
            return time;
        return at.getFullYear() + "-" + two(at.getMonth() + 1) + "-" + two(at.getDate()) + " " + time;
    }

    function problem(state) { return state === "unreachable" || state === "in use"; }

    // The reason under a room's badge and the line's words, made when needed.
    function part(item, selector, make) {
        var found = item.querySelector(selector);
        if (!found) {
            found = make();
            item.insertBefore(found, item.querySelector(".last"));
        }
        return found;
    }

    function show(room) {
        var item = document.querySelector('.room[data-room="' + room.id + '"]');
        if (!item)
            return;
        names[room.id] = room.name;
        var state = item.querySelector(".state");
        state.setAttribute("data-state", room.state);
        state.textContent = texts.states[room.state] || room.state;
        var reason = texts.reasons[room.state] || "";
        if (reason || item.querySelector(".reason"))
            part(item, ".reason", function () {
                var span = document.createElement("span");
                span.className = "reason";
                return span;
            }).textContent = reason;
        if (room.error || item.querySelector(".error")) {
            var error = part(item, ".error", function () {
                var more = document.createElement("details");
                var summary = document.createElement("summary");
                var detail = document.createElement("span");
                more.className = "error";
                summary.textContent = texts.details;
                detail.className = "detail";
                more.appendChild(summary);
                more.appendChild(detail);
                return more;
            });
            error.querySelector(".detail").textContent = room.error || "";
            error.hidden = !room.error;
        }
        // The command in the page's words, as the action's list says it.
        var option = room.last && document.querySelector('#all-command option[value="' + room.last.command + '"]');
        var last = room.last ? (option ? option.textContent : room.last.label) : "";
        item.querySelector(".last").textContent = room.last
            ? texts.last.replace("%1", last).replace("%2", when(room.last.at))
            : texts.never;
        showProjector(item, room.projector);
    }

    // The room's projector in one line: its power in words, lamp hours,
    // errors, a command it did not follow and its alerts (their messages on
    // hover); no line where the room has no projector.
    function showProjector(item, projector) {
        var line = item.querySelector(".projector");
        if (!projector) {
            if (line)
                line.parentNode.removeChild(line);
            return;
        }
        if (!line) {
            line = document.createElement("span");
            line.className = "projector";
            item.appendChild(line);
        }
        var words = texts.projector;
        var parts = [projector.reachable ? (words[projector.power] || projector.power)
            : projector.answered === null && !projector.error ? words.unknown : words.unreachable];
        if (projector.lamp_hours !== null)
            parts.push(words.lamp.replace("%1", projector.lamp_hours));
        if (projector.errors) // in the page's words, part by part
            parts.push(Object.keys(projector.faults || {}).map(function (part) {
                var how = words["fault-" + projector.faults[part]];
                return how ? how.replace("%1", words["part-" + part] || part) : part;
            }).join(", ") || projector.errors);
        var failed = projector.check && projector.check.code === "not-followed";
        if (failed)
            parts.push(words.notFollowed.replace("%1", projector.check.command));
        projector.alerts.forEach(function (alert) {
            if (words["alert-" + alert.kind] && alert.kind !== "error")
                parts.push(words["alert-" + alert.kind]);
        });
        line.textContent = words.line.replace("%1", parts.join(" · "));
        line.setAttribute("data-power", projector.power);
        line.classList.toggle("alert", failed || projector.alerts.length > 0);
        line.title = projector.alerts.map(function (alert) { return alert.message; }).join("\n");
    }

    // The counts by state, and the rooms with a problem first (moved only
    // when that changes).
    function tally(rooms) {
        var counts = {};
        rooms.forEach(function (room) { counts[room.state] = (counts[room.state] || 0) + 1; });
        Array.prototype.forEach.call(document.querySelectorAll("#counts .count"), function (count) {
            var n = counts[count.getAttribute("data-state")] || 0;
            count.querySelector("b").textContent = n;
            count.toggleAttribute("data-zero", !n);
        });
        var list = $("rooms");
        var items = Array.prototype.slice.call(list.children);
        var sorted = items.filter(function (item) {
            return problem(item.querySelector(".state").getAttribute("data-state"));
        }).concat(items.filter(function (item) {
            return !problem(item.querySelector(".state").getAttribute("data-state"));
        }));
        if (sorted.some(function (item, i) { return item !== items[i]; }))
            sorted.forEach(function (item) { list.appendChild(item); });
    }

    function loggedOut() {
        report(texts.loggedOut, "error");
        window.location.assign("/login");
    }

    function refresh() {
        return fetch("/api/v1/rooms", { cache: "no-store" }).then(function (response) {
            if (response.status === 401)
                return loggedOut();
            if (!response.ok)
                return;
            return response.json().then(function (body) {
                body.rooms.forEach(show);
                tally(body.rooms);
            });
        }).catch(function () {
            report(texts.noService, "error");
        });
    }

    function poll() {
        refresh().then(function () { setTimeout(poll, 5000); });
    }

    function chosen() {
        var rooms = [];
        Array.prototype.forEach.call(document.querySelectorAll("input.pick"), function (box) {
            if (box.checked)
                rooms.push(box.closest(".room").getAttribute("data-room"));
        });
        return rooms;
    }

    function pickAll(checked) {
        scope = { every: checked, group: null };
        Array.prototype.forEach.call(document.querySelectorAll("input.pick"), function (box) {
            box.checked = checked;
        });
    }

    function ask() {
        var select = $("all-command");
        var rooms = chosen();
        var body = { rooms: rooms };
        var count = rooms.length;
        var named = roomNames(rooms);
        if (scope.every) { // every room, listed here or not: no list
            body = null;
            count = texts.total;
            named = texts.everyRoom;
        } else if (scope.group) {
            body = { groups: [scope.group.name] };
            count = scope.group.rooms.length;
            named = scope.group.name;
        }
        $("all-results").textContent = "";
        if (!count) {
            report(texts.noneChosen, "error");
            return;
        }
        var label = select.options[select.selectedIndex].text;
        asked = { letter: select.value, label: label, count: count, body: body };
        $("all-question").textContent = texts.question.replace("%1", label)
            .replace("%2", count).replace("%3", named);
        report("", "");
        $("all-ask").hidden = false;
        $("all-confirm").focus();
    }

    // The all-rooms action's outcome, at the top of the page.
    function report(text, kind) {
        $("all-status").textContent = text;
        $("all-outcome").setAttribute("data-kind", kind || "");
        $("all-outcome").hidden = !text;
    }

    // The rooms by name: all of them, or the first few and how many more.
    function roomNames(rooms) {
        var shown = 5;
        var first = rooms.slice(0, rooms.length > shown ? shown - 1 : shown).map(function (id) {
            return names[id] || id;
        }).join("、");
        return rooms.length > shown
            ? texts.andMore.replace("%1", first).replace("%2", rooms.length - shown + 1) : first;
    }

    function result(entry) {
        var item = document.createElement("li");
        var name = names[entry.room] || entry.room;
        item.setAttribute("data-room", entry.room);
        item.setAttribute("data-outcome", entry.error === undefined ? "sent" : "error");
        item.textContent = texts.roomFailed.replace("%1", name)
            .replace("%2", texts.codes[entry.code] || texts.codes["not-sent"]);
        if (entry.error) { // what the line said, folded away for the technician
            var more = document.createElement("details");
            var summary = document.createElement("summary");
            summary.textContent = texts.details;
            more.appendChild(summary);
            more.appendChild(document.createTextNode(entry.error));
            item.appendChild(more);
        }
        return item;
    }

    function run() {
        if (!asked)
            return;
        var order = asked;
        asked = null;
        $("all-ask").hidden = true;
        $("all-run").disabled = true;
        report(texts.sending.replace("%1", order.label).replace("%2", order.count), "");
        fetch("/api/v1/rooms/all/commands/" + encodeURIComponent(order.letter), {
            method: "POST",
            cache: "no-store",
            headers: { "Content-Type": "application/json" },
            body: order.body ? JSON.stringify(order.body) : ""
        }).then(function (response) {
            if (response.status === 401)
                return loggedOut();
            return response.json().then(function (body) {
                if (!response.ok) {
                    report(texts.notSent.replace("%1", body.error || response.status), "error");
                    return;
                }
                // The rooms not sent first, each with its reason; those
                // sent in one line after them.
                var list = $("all-results");
                var sent = [];
                body.results.forEach(function (entry) {
                    if (entry.error === undefined)
                        sent.push(names[entry.room] || entry.room);
                    else
                        list.appendChild(result(entry));
                });
                if (sent.length) {
                    var item = document.createElement("li");
                    item.setAttribute("data-outcome", "sent");
                    item.textContent = texts.sentTo.replace("%1", sent.join(texts.chinese ? "、" : ", "));
                    list.appendChild(item);
                }
                var failed = body.results.length - sent.length;
                report(texts.done.replace("%1", order.label).replace("%2", sent.length)
                    .replace("%3", failed), failed ? "error" : "sent");
            });
        }).catch(function () {
            report(texts.noService, "error");
        }).then(function () {
            $("all-run").disabled = false;
            $("all-status").focus(); // the outcome, at the top
            refresh();
        });
    }

    Array.prototype.forEach.call(document.querySelectorAll(".room"), function (item) {
        names[item.getAttribute("data-room")] = item.querySelector("a").textContent;
    });
    $("all-run").addEventListener("click", ask);
    $("all-confirm").addEventListener("click", run);
    $("all-cancel").addEventListener("click", function () {
        asked = null;
        $("all-ask").hidden = true;
        $("all-run").focus();
    });
    // A group's button chooses its rooms and no other.
    Array.prototype.forEach.call(document.querySelectorAll("button.group"), function (button) {
        button.addEventListener("click", function () {
            var rooms = button.getAttribute("data-rooms").split(" ");
            scope = { every: false, group: { name: button.getAttribute("data-group"), rooms: rooms } };
            Array.prototype.forEach.call(document.querySelectorAll("input.pick"), function (box) {
                box.checked = rooms.indexOf(box.closest(".room").getAttribute("data-room")) >= 0;
            });
        });
    });
    // A box ticked by hand: the rooms ticked, no more.
    $("rooms").addEventListener("change", function () { scope = { every: false, group: null }; });
    $("all-none").addEventListener("click", function () { pickAll(false); });
    $("all-every").addEventListener("click", function () { pickAll(true); });
    // Served over HTTPS (or to this machine): a page of our own, not the
    // browser's error, when the server cannot be reached (sw.js).
    if ("serviceWorker" in navigator && window.isSecureContext)
        navigator.serviceWorker.register("/sw.js").catch(function () {});
    poll();
})();
