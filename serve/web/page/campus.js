"use strict";
// The rooms page: each room's state and last command from
// GET /api/v1/rooms every few seconds, and the all-rooms action: a command,
// the rooms ticked, a confirmation, then POST /api/v1/rooms/all/commands/C
// and each room's outcome.
(function () {
    var texts = JSON.parse(document.getElementById("texts").textContent);
    var $ = function (id) { return document.getElementById(id); };
    var names = {};
    var asked = null; // {letter, label, rooms} while the confirmation is open

    function two(n) { return (n < 10 ? "0" : "") + n; }

    function when(iso) {
        var at = new Date(iso);
        var now = new Date();
        var time = two(at.getHours()) + ":" + two(at.getMinutes());
        if (at.toDateString() === now.toDateString())
            return time;
        return at.getFullYear() + "-" + two(at.getMonth() + 1) + "-" + two(at.getDate()) + " " + time;
    }

    function show(room) {
        var item = document.querySelector('.room[data-room="' + room.id + '"]');
        if (!item)
            return;
        names[room.id] = room.name;
        var state = item.querySelector(".state");
        state.setAttribute("data-state", room.state);
        state.textContent = texts.states[room.state] || room.state;
        item.querySelector(".reason").textContent = texts.reasons[room.state] || "";
        item.querySelector(".detail").textContent = room.error || "";
        item.querySelector(".error").hidden = !room.error;
        item.querySelector(".last").textContent = room.last
            ? texts.last.replace("%1", room.last.label).replace("%2", when(room.last.at))
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
        if (projector.errors)
            parts.push(projector.errors);
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

    function loggedOut() {
        $("all-status").textContent = texts.loggedOut;
        window.location.assign("/login");
    }

    function refresh() {
        return fetch("/api/v1/rooms", { cache: "no-store" }).then(function (response) {
            if (response.status === 401)
                return loggedOut();
            if (!response.ok)
                return;
            return response.json().then(function (body) { body.rooms.forEach(show); });
        }).catch(function () {
            $("all-status").textContent = texts.noService;
        });
    }

    function poll() {
        refresh().then(function () { setTimeout(poll, 5000); });
    }

    function chosen() {
        var rooms = [];
        Array.prototype.forEach.call(document.querySelectorAll("input.pick"), function (box) {
            if (box.checked)
                rooms.push(box.getAttribute("data-room"));
        });
        return rooms;
    }

    function pickAll(checked) {
        Array.prototype.forEach.call(document.querySelectorAll("input.pick"), function (box) {
            box.checked = checked;
        });
    }

    function ask() {
        var select = $("all-command");
        var rooms = chosen();
        $("all-results").textContent = "";
        if (!rooms.length) {
            $("all-status").textContent = texts.noneChosen;
            return;
        }
        var label = select.options[select.selectedIndex].text;
        asked = { letter: select.value, label: label, rooms: rooms };
        $("all-question").textContent = texts.question.replace("%1", label)
            .replace("%2", rooms.length).replace("%3", roomNames(rooms));
        $("all-status").textContent = "";
        $("all-ask").hidden = false;
        $("all-confirm").focus();
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
        item.textContent = entry.error === undefined
            ? texts.roomSent.replace("%1", name)
            : texts.roomFailed.replace("%1", name)
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
        $("all-status").textContent = texts.sending.replace("%1", order.label).replace("%2", order.rooms.length);
        fetch("/api/v1/rooms/all/commands/" + encodeURIComponent(order.letter), {
            method: "POST",
            cache: "no-store",
            headers: { "Content-Type": "application/json" },
            body: JSON.stringify({ rooms: order.rooms })
        }).then(function (response) {
            if (response.status === 401)
                return loggedOut();
            return response.json().then(function (body) {
                if (!response.ok) {
                    $("all-status").textContent = texts.notSent.replace("%1", body.error || response.status);
                    return;
                }
                var list = $("all-results");
                var failed = 0;
                body.results.forEach(function (entry) {
                    failed += entry.error === undefined ? 0 : 1;
                    list.appendChild(result(entry));
                });
                $("all-status").textContent = texts.done.replace("%1", order.label)
                    .replace("%2", body.results.length - failed).replace("%3", failed);
            });
        }).catch(function () {
            $("all-status").textContent = texts.noService;
        }).then(function () {
            $("all-run").disabled = false;
            $("all-status").focus(); // the outcome, where the confirmation was
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
            Array.prototype.forEach.call(document.querySelectorAll("input.pick"), function (box) {
                box.checked = rooms.indexOf(box.getAttribute("data-room")) >= 0;
            });
        });
    });
    $("all-none").addEventListener("click", function () { pickAll(false); });
    $("all-every").addEventListener("click", function () { pickAll(true); });
    // Served over HTTPS (or to this machine): a page of our own, not the
    // browser's error, when the server cannot be reached (sw.js).
    if ("serviceWorker" in navigator && window.isSecureContext)
        navigator.serviceWorker.register("/sw.js").catch(function () {});
    poll();
})();
