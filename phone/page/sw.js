"use strict";
// Where the pages are served over HTTPS (or to this machine): when the
// server cannot be reached, a page that says so in the browser's language
// (/offline-en.html or /offline-zh.html, kept when this worker is
// installed) instead of the browser's own error. Nothing else is kept:
// every answer is the server's.
var KEPT = "lumo-offline-2";
var CSS = "{{css}}";

function offlinePage() {
    var languages = self.navigator.languages || [self.navigator.language || ""];
    for (var i = 0; i < languages.length; ++i) {
        var tag = languages[i].toLowerCase();
        if (tag.indexOf("zh") === 0)
            return "/offline-zh.html";
        if (tag.indexOf("en") === 0)
            return "/offline-en.html";
    }
    return "/offline-en.html";
}

self.addEventListener("install", function (event) {
    event.waitUntil(caches.open(KEPT).then(function (cache) {
        return cache.addAll(["/offline-en.html", "/offline-zh.html", CSS]);
    }).then(function () { return self.skipWaiting(); }));
});

self.addEventListener("activate", function (event) {
    event.waitUntil(caches.keys().then(function (names) {
        return Promise.all(names.filter(function (name) { return name !== KEPT; })
            .map(function (name) { return caches.delete(name); }));
    }).then(function () { return self.clients.claim(); }));
});

self.addEventListener("fetch", function (event) {
    var request = event.request;
    if (request.method !== "GET")
        return;
    if (request.mode === "navigate")
        event.respondWith(fetch(request).catch(function () { return caches.match(offlinePage()); }));
    else if (new URL(request.url).pathname === CSS)
        event.respondWith(fetch(request).catch(function () { return caches.match(request); }));
});
