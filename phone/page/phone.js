"use strict";
// Taps become POST API/commands/LETTER (API: /api/v1 for the phone remote,
// /api/v1/rooms/ID for a room of the campus service); the bar at the bottom
// of the screen says what became of them, in words chosen by the answer's
// "code", and the tapped button carries ✓ or ✗ for a moment. The status is
// asked every few seconds, so that the page notices when the panel on the
// PC goes away, and a room's panel says when the room cannot be reached.
(function () {
    var texts = JSON.parse(document.getElementById("texts").textContent);
    var api = document.querySelector("main").getAttribute("data-api");
    var $ = function (id) { return document.getElementById(id); };
    var message = $("message");
    var chinese = document.documentElement.lang.indexOf("zh") === 0;
    var expired = false;
    var marked = null;

    // kind: "sending", "sent", "warn", "error" or "" (information);
    // detail: what the device said, folded away for the technician.
    function say(text, kind, detail) {
        message.textContent = text;
        $("bar").setAttribute("data-kind", kind || "");
        $("icon").textContent = { sending: "…", sent: "✓", warn: "!", error: "✗" }[kind] || "";
        $("detail").textContent = detail || "";
        $("more").hidden = !detail;
    }

    function closed() {
        message.setAttribute("data-closed", "1");
        say(texts.closed, "error");
    }

    // The tapped button says how it went until the next tap or a few seconds.
    function mark(button, kind) {
        if (marked)
            marked.removeAttribute("data-outcome");
        marked = button;
        button.setAttribute("data-outcome", kind);
        setTimeout(function () {
            if (marked === button) {
                button.removeAttribute("data-outcome");
                marked = null;
            }
        }, 4000);
    }

    // What an answer means for the user: a promise of {text, kind, detail}.
    function outcome(response, name) {
        if (response.status === 401) {
            expired = true;
            return Promise.resolve({ text: texts.expired, kind: "error" });
        }
        if (response.status === 429)
            return Promise.resolve({ text: texts.tooMany, kind: "error" });
        return response.json().catch(function () { return {}; }).then(function (body) {
            if (response.ok && (!body.code || body.code === "sent"))
                return { text: texts.sent.replace("%1", name), kind: "sent", body: body };
            var reason = texts.codes[body.code] || texts.codes["not-sent"];
            var head = body.code === "not-confirmed" ? texts.notConfirmed : texts.notSent;
            return { text: head.replace("%1", name) + " " + reason,
                     kind: body.code === "not-confirmed" ? "warn" : "error",
                     detail: body.error || String(response.status) };
        });
    }

    // The room's own state, on a room's panel: a line in the bar while it is
    // down. After a tap that went out unconfirmed the bar's message says
    // what is known; the state's words ("commands cannot be sent") would
    // contradict it, so they wait for the next tap.
    var unconfirmed = false;
    function showState(status) {
        var reason = texts.states && texts.states[status.state];
        $("state").hidden = !reason || unconfirmed;
        $("state").setAttribute("data-state", status.state || "");
        $("state-text").textContent = reason || "";
        $("state-detail").textContent = status.error || "";
        $("state").querySelector("details").hidden = !status.error;
    }

    // A room's projector (where the room has one): its power in words, lamp
    // hours and errors, the whole line on hover where it is cut short.
    // Its faults in the page's words ("温度：故障"), part by part.
    function faults(projector, words) {
        return Object.keys(projector.faults || {}).map(function (part) {
            var how = words["fault-" + projector.faults[part]];
            return how ? how.replace("%1", words["part-" + part] || part) : part;
        }).join(", ") || projector.errors;
    }

    function showProjector(projector) {
        var words = texts.projector;
        if (!words || !$("projector"))
            return;
        var parts = [];
        if (projector) {
            parts.push(projector.reachable ? (words[projector.power] || projector.power)
                : projector.answered === null && !projector.error ? words.unknown : words.unreachable);
            if (projector.lamp_hours !== null)
                parts.push(words.lamp.replace("%1", projector.lamp_hours));
            if (projector.errors)
                parts.push(faults(projector, words));
        }
        $("projector-text").textContent = parts.join(" · ");
        $("projector-text").title = parts.join(" · ");
        $("projector").setAttribute("data-power", projector ? projector.power : "");
        $("projector").toggleAttribute("data-errors", !!(projector && projector.errors));
    }

    function poll() {
        fetch(api + "/status", { cache: "no-store" }).then(function (response) {
            return outcome(response, "").then(function (answer) {
                if (answer.kind !== "sent") {
                    say(answer.text, answer.kind, answer.detail);
                    return;
                }
                showState(answer.body);
                showProjector(answer.body.projector);
                if (!message.textContent || message.hasAttribute("data-closed")) {
                    message.removeAttribute("data-closed");
                    say(texts.ready.replace("%1", answer.body.port || answer.body.name), "");
                }
            });
        }).catch(closed).then(function () {
            if (!expired)
                setTimeout(poll, 5000);
        });
    }

    function send(button) {
        var name = chinese ? button.getAttribute("data-zh") : button.getAttribute("data-en");
        say(texts.sending.replace("%1", name), "sending");
        fetch(api + "/commands/" + button.getAttribute("data-c"),
              { method: "POST", cache: "no-store" }).then(function (response) {
            return outcome(response, name).then(function (answer) {
                unconfirmed = answer.kind === "warn";
                if (unconfirmed)
                    $("state").hidden = true;
                say(answer.text, answer.kind, answer.detail);
                mark(button, answer.kind);
            });
        }).catch(function () {
            closed();
            mark(button, "error");
        });
    }

    // The pressed pictures come with the first touch, not with the page.
    var pressedLoaded = false;
    function loadPressed() {
        if (pressedLoaded)
            return;
        pressedLoaded = true;
        Array.prototype.forEach.call(document.querySelectorAll("img.d[data-src]"), function (img) {
            img.addEventListener("load", function () { img.parentNode.classList.add("has-d"); });
            if (img.hasAttribute("data-srcset"))
                img.srcset = img.getAttribute("data-srcset");
            img.src = img.getAttribute("data-src");
        });
    }

    function press(button) {
        loadPressed();
        button.classList.add("down");
        // Only after a touch: before one the browser refuses, and says so.
        if (navigator.vibrate && (!navigator.userActivation || navigator.userActivation.hasBeenActive))
            navigator.vibrate(15);
    }

    // Where the panel is shown as it is, the keyboard follows the picture
    // (row by row); on a phone it follows the groups.
    var buttons = Array.prototype.slice.call(document.querySelectorAll("button.cmd"));
    var homes = buttons.map(function (button) { return button.parentNode; });
    var wide = window.matchMedia(texts.wide);
    function arrange() {
        if (wide.matches) {
            buttons.slice().sort(function (a, b) {
                return a.getAttribute("data-o") - b.getAttribute("data-o");
            }).forEach(function (button) { $("panel").appendChild(button); });
        } else {
            buttons.forEach(function (button, i) { homes[i].appendChild(button); });
        }
    }
    wide.addEventListener("change", arrange);
    arrange();

    buttons.forEach(function (button) {
        button.addEventListener("pointerdown", function () { press(button); });
        ["pointerup", "pointercancel", "pointerleave"].forEach(function (end) {
            button.addEventListener(end, function () { button.classList.remove("down"); });
        });
        button.addEventListener("click", function () { send(button); });
    });
    // The bar covers the bottom of the page: the page scrolls what has the
    // focus above it, and its end clears it.
    function clearBar() {
        var height = $("bar").getBoundingClientRect().height;
        document.documentElement.style.setProperty("--bar", Math.ceil(height) + 8 + "px");
    }
    if (window.ResizeObserver)
        new ResizeObserver(clearBar).observe($("bar"));
    clearBar();

    // Served over HTTPS (or to this machine): a page of our own, not the
    // browser's error, when the server cannot be reached (sw.js).
    if ("serviceWorker" in navigator && window.isSecureContext)
        navigator.serviceWorker.register("/sw.js").catch(function () {});
    poll();
})();
