// sw.js: keeps one build of the page, its data included, so that it starts
// and plays with no network. scripts/web.sh fills in the build's files and
// the cache's name, "zimbalo-" and a hash of those files' contents: a new
// build is a new service worker with a cache of its own.
"use strict";
const CACHE = "@CACHE@";
const FILES = @FILES@;

// All of the build or nothing: addAll fails on any answer that is not ok,
// so a failed one is never kept, and then the cache goes too. Each file
// comes from the server, not from the browser's HTTP cache, which may hold
// another build's.
self.addEventListener("install", e => e.waitUntil(caches.open(CACHE).then(
  cache => cache.addAll(FILES.map(f => new Request(f, { cache: "reload" }))))
  .catch(error => caches.delete(CACHE).then(() => { throw error; }))));

// Once this build serves, the others' caches go.
self.addEventListener("activate", e => e.waitUntil(caches.keys().then(keys => Promise.all(
  keys.filter(k => k.startsWith("zimbalo-") && k !== CACHE).map(k => caches.delete(k))))));

// A page that has not started its game asks a waiting build to serve, then
// loads again from it. Only the one page may: another, perhaps in a game of
// the older build, must not be served this one's files.
self.addEventListener("message", e => {
  if (e.data === "serve") self.clients.matchAll({ type: "window" }).then(
    pages => pages.length <= 1 && self.skipWaiting());
});

// The build's files from its cache (the folder itself is index.html); the
// rest from the network.
self.addEventListener("fetch", e => {
  const scope = self.registration.scope, url = e.request.url;
  if (e.request.method !== "GET" || !url.startsWith(scope)) return;
  const name = url.slice(scope.length).split(/[?#]/)[0] || "index.html";
  if (!FILES.includes(name)) return;
  e.respondWith(caches.open(CACHE).then(cache => cache.match(name))
    .then(kept => kept || fetch(e.request)));
});
