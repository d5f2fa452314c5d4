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
        state.title = room.error || "";
        item.querySelector(".last").textContent = room.last
            ? texts.last.replace("%1", room.last.label).replace("%2", when(room.last.at))
            : texts.never;
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
        $("all-question").textContent = texts.question.replace("%1", label).replace("%2", rooms.length);
        $("all-status").textContent = "";
        $("all-ask").hidden = false;
        $("all-confirm").focus();
    }

    function result(entry) {
        var item = document.createElement("li");
        var name = names[entry.room] || entry.room;
        item.setAttribute("data-room", entry.room);
        item.setAttribute("data-outcome", entry.error === undefined ? "sent" : "error");
        item.textContent = entry.error === undefined
            ? texts.roomSent.replace("%1", name)
            : texts.roomFailed.replace("%1", name).replace("%2", entry.error);
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
    poll();
})();
