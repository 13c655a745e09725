/* HiveSweep pages: shared helpers (ES5 for the IE 11 engine) and, when a
   page is served over http by `hivesweep gui`, the bridge to the program:
   it polls for the script calls queued for this page, runs them, and posts
   clicks on elements marked data-click back by id. Under res:// (the
   Windows program) the bridge stays off: the program calls the page's
   functions and reads clicks itself. */
(function () {
  "use strict";
  var HS = window.HS = {};
  HS.t = {};

  HS.byId = function (id) { return document.getElementById(id); };
  HS.setText = function (el, text) {
    if (typeof el === "string") el = HS.byId(el);
    if (!el) return;
    if ("textContent" in el) el.textContent = text; else el.innerText = text;
  };
  HS.hasClass = function (el, c) { return (" " + el.className + " ").indexOf(" " + c + " ") >= 0; };
  HS.addClass = function (el, c) { if (el && !HS.hasClass(el, c)) el.className = (el.className ? el.className + " " : "") + c; };
  HS.removeClass = function (el, c) {
    if (el) el.className = (" " + el.className + " ").replace(" " + c + " ", " ").replace(/^\s+|\s+$/g, "");
  };
  HS.toggle = function (el, c, on) { if (on) HS.addClass(el, c); else HS.removeClass(el, c); };
  HS.show = function (el, on) { if (typeof el === "string") el = HS.byId(el); HS.toggle(el, "hidden", !on); };
  HS.number = function (s) { var n = parseInt(s, 10); return isNaN(n) ? 0 : n; };
  // A text that may hold "<br>" line breaks, as text nodes (never markup).
  HS.setLines = function (el, text) {
    if (typeof el === "string") el = HS.byId(el);
    if (!el) return;
    while (el.firstChild) el.removeChild(el.firstChild);
    var parts = String(text).split("<br>");
    for (var i = 0; i < parts.length; i++) {
      if (i) el.appendChild(document.createElement("br"));
      el.appendChild(document.createTextNode(parts[i]));
    }
  };
  // The page's keys, in the order the program sends their texts.
  HS.keys = function () {
    var k = document.body.getAttribute("data-keys");
    return k ? k.split(/\s+/) : [];
  };
  // Texts by key: into the element with the key's id and every element whose
  // data-t names the key; kept in HS.t for the page's script.
  HS.applyTexts = function (args) {
    var keys = HS.keys(), all = document.getElementsByTagName("*"), i;
    for (i = 0; i < keys.length && i < args.length; i++) {
      HS.t[keys[i]] = args[i];
      HS.setText(keys[i], args[i]);
    }
    for (i = 0; i < all.length; i++) {
      var key = all[i].getAttribute("data-t");
      if (key && HS.t.hasOwnProperty(key)) HS.setText(all[i], HS.t[key]);
    }
    if (HS.onTexts) HS.onTexts();
  };

  window.setlanguage = function (code, font) {
    document.documentElement.lang = code;
    HS.toggle(document.body, "segoe", font === "1");
  };
  window.LoadStrings = function () { HS.applyTexts(arguments); };

  /* ---- bridge to `hivesweep gui` (http only) ---- */
  if (location.protocol !== "http:") return;
  var path = location.pathname, page = path.substring(path.lastIndexOf("/") + 1);

  function request(method, url, done) {
    var r = new XMLHttpRequest();
    r.open(method, url, true);
    r.onreadystatechange = function () { if (r.readyState === 4 && done) done(r.status, r.responseText); };
    r.send(null);
  }
  // Calls seen, per page and function: how many and the last arguments
  // (kept for the session, for tests and for a look in the console).
  function record(fn, args) {
    try {
      var seen = JSON.parse(sessionStorage.getItem("hs-calls") || "{}"), key = page + " " + fn;
      seen[key] = { n: (seen[key] ? seen[key].n : 0) + 1, args: args };
      sessionStorage.setItem("hs-calls", JSON.stringify(seen));
    } catch (e) { /* storage off: nothing kept */ }
  }
  function run(call) {
    var fn = window[call[0]], args = call.slice(1);
    record(call[0], args);
    if (typeof fn === "function") {
      try { fn.apply(window, args); } catch (e) { if (window.console) console.error(e); }
    }
  }
  var nav = null, navEnabled = true;
  function setNav(enabled) {
    navEnabled = enabled;
    if (!nav) return;
    var b = nav.getElementsByTagName("button");
    for (var i = 0; i < b.length; i++) b[i].disabled = !enabled;
  }
  function buildNav(items) {
    nav = document.createElement("nav");
    nav.className = "hs-nav";
    nav.innerHTML = '<svg class="mark" viewBox="0 0 24 24" aria-hidden="true"><path d="M12 2l8.66 5v10L12 22l-8.66-5V7z" ' +
      'fill="#0f766e"/><path d="M8 12.5l2.6 2.6L16.5 9" fill="none" stroke="#fff" stroke-width="2" stroke-linecap="round" ' +
      'stroke-linejoin="round"/></svg>';
    var current = { "home.html": 242, "scan_settings.html": 253, "optimisation.html": 244 }[page];
    for (var i = 0; i < items.length; i++) {
      var b = document.createElement("button");
      b.id = "nav" + items[i][0];
      b.setAttribute("data-command", items[i][0]);
      HS.setText(b, items[i][1]);
      if (items[i][0] === current) b.className = "current";
      b.onclick = function () { request("POST", "api/command?id=" + this.getAttribute("data-command")); };
      nav.appendChild(b);
    }
    document.body.insertBefore(nav, document.body.firstChild);
    setNav(navEnabled);
  }
  function poll() {
    request("GET", "api/poll?page=" + encodeURIComponent(page), function (status, body) {
      if (status !== 200) { setTimeout(poll, 1000); return; }
      var r = JSON.parse(body);
      if (r.closed) return;
      setNav(r.nav);
      if (r.navigate) { location.replace(r.navigate); return; }
      for (var i = 0; i < r.calls.length; i++) run(r.calls[i]);
      poll();
    });
  }
  function start() {
    document.addEventListener("click", function (e) {
      for (var el = e.target; el && el !== document; el = el.parentNode) {
        if (el.getAttribute && el.getAttribute("data-click") !== null && el.id) {
          e.preventDefault();
          request("POST", "api/click?page=" + encodeURIComponent(page) + "&id=" + encodeURIComponent(el.id));
          return;
        }
      }
    }, false);
    request("GET", "api/nav", function (status, body) { if (status === 200) buildNav(JSON.parse(body)); });
    request("POST", "api/loaded?page=" + encodeURIComponent(page), function () { poll(); });
  }
  if (document.readyState === "loading") document.addEventListener("DOMContentLoaded", start, false); else start();
})();
