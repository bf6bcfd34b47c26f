#include "page_prelude.h"

namespace platform::web {

// Natives (N): navigate(url, kind) with kind 0 location, 1 frame, 2 window.open, 3 reload;
// loadScript(url) -> token; log(level, text); alert(text); setTimer(id, ms, repeats) -> 1 when
// scheduled; clearTimer(id); now() and monotonic() in milliseconds; write(html).
// Every value handed to a native is a primitive: natives never run script.
const char kPagePrelude[] = R"JS((function (N, F, G) {
  "use strict";
  var slice = Array.prototype.slice;
  function define(obj, name, get, set) {
    Object.defineProperty(obj, name, { get: get, set: set, enumerable: true, configurable: true });
  }
  function text(v) { return v === undefined || v === null ? "" : String(v); }
  function describe(e) {
    try {
      if (e && typeof e === "object" && e.stack !== undefined) return String(e.stack);
      return String(e);
    } catch (ignored) { return "uncaught exception"; }
  }
  function report(e) { N.log("error", describe(e)); }
  function makeEvent(type, target) {
    return { type: type, target: target, currentTarget: target, bubbles: false,
             defaultPrevented: false, isTrusted: false, timeStamp: N.now(),
             preventDefault: function () { this.defaultPrevented = true; },
             stopPropagation: function () {}, stopImmediatePropagation: function () {} };
  }
  function eventTarget(obj) {
    var listeners = {};
    obj.addEventListener = function (type, fn) {
      if (typeof fn !== "function" && !(fn && typeof fn.handleEvent === "function")) return;
      var list = listeners[String(type)] || (listeners[String(type)] = []);
      if (list.indexOf(fn) < 0) list.push(fn);
    };
    obj.removeEventListener = function (type, fn) {
      var list = listeners[String(type)];
      var i = list ? list.indexOf(fn) : -1;
      if (i >= 0) list.splice(i, 1);
    };
    obj.dispatchEvent = function (event) {
      var list = listeners[String(event && event.type)];
      if (!list) return true;
      list = list.slice();
      for (var i = 0; i < list.length; i++) {
        try {
          if (typeof list[i] === "function") list[i].call(obj, event);
          else list[i].handleEvent(event);
        } catch (e) { report(e); }
      }
      return !event.defaultPrevented;
    };
  }

  // ---- elements ----
  var doc = {};
  var documentElement = null;
  var pendingScripts = {};

  function Element(tag) {
    this.nodeType = 1;
    this.localName = tag;
    this.tagName = this.nodeName = tag.toUpperCase();
    this.childNodes = [];
    this.children = this.childNodes;
    this.parentNode = null;
    this.ownerDocument = doc;
    this.style = {};
    this.innerHTML = "";
    this.text = "";
    Object.defineProperty(this, "_attrs", { value: {}, writable: true });
    Object.defineProperty(this, "_started", { value: false, writable: true });
    eventTarget(this);
  }
  var EP = Element.prototype;
  function connected(node) {
    while (node) {
      if (node === documentElement) return true;
      node = node.parentNode;
    }
    return false;
  }
  function walk(root, visit) {
    var stack = [root];
    while (stack.length) {
      var node = stack.pop();
      if (visit(node) === false) return;
      var kids = node.childNodes || [];
      for (var i = kids.length - 1; i >= 0; i--) stack.push(kids[i]);
    }
  }
  function startScript(el) {
    if (el._started) return;
    var src = el._attrs.src;
    if (src !== undefined) {
      el._started = true;
      var token = N.loadScript(src);
      if (token > 0) pendingScripts[token] = el;
    } else if (el.text !== "" || el.innerHTML !== "") {
      el._started = true;
      try { (0, eval)(el.text !== "" ? el.text : el.innerHTML); } catch (e) { report(e); }
    }
  }
  function inserted(node) {
    walk(node, function (el) {
      if (el.nodeType !== 1) return;
      if (el.localName === "iframe" && el._attrs.src !== undefined) N.navigate(el._attrs.src, 1);
      if (el.localName === "script") startScript(el);
    });
  }
  EP.setAttribute = function (name, value) {
    name = String(name).toLowerCase();
    value = String(value);
    this._attrs[name] = value;
    if (name === "src" && connected(this)) {
      if (this.localName === "iframe") N.navigate(value, 1);
      if (this.localName === "script") startScript(this);
    }
  };
  // A click on `target`: the onclick handlers and listeners from it up to the window, then
  // the nearest link's default unless cancelled. "H" + href to follow, else "N". `trusted`
  // only for the user's tap the host delivers; a page's own click() is not one.
  function clickThrough(target, trusted) {
    var event = makeEvent("click", target);
    event.isTrusted = trusted;
    var stopped = false;
    event.bubbles = event.cancelable = true;
    event.returnValue = true;
    event.stopPropagation = event.stopImmediatePropagation = function () { stopped = true; };
    var path = [];
    for (var n = target; n; n = n.parentNode) path.push(n);
    path.push(doc, G);
    for (var j = 0; j < path.length && !stopped; j++) {
      var node = path[j];
      event.currentTarget = node;
      var handler = node.onclick;
      // A handler a script set replaces the inline attribute, as the two share one slot.
      if (typeof handler !== "function" && node._attrs && node._attrs.onclick !== undefined) {
        try { handler = new Function("event", node._attrs.onclick); } catch (e) { report(e); }
      }
      if (typeof handler === "function") {
        try { if (handler.call(node, event) === false) event.preventDefault(); } catch (e) { report(e); }
      }
      node.dispatchEvent(event);
      if (event.returnValue === false) event.preventDefault();
    }
    if (event.defaultPrevented) return "N";
    for (var up = target; up; up = up.parentNode) {
      if (up.localName === "a" && up._attrs.href !== undefined) return "H" + up._attrs.href;
    }
    return "N";
  }
  EP.click = function () {
    var r = clickThrough(this, false);
    if (r.charAt(0) === "H") N.navigate(r.substring(1), 0);
  };
  EP.getAttribute = function (name) {
    var v = this._attrs[String(name).toLowerCase()];
    return v === undefined ? null : v;
  };
  EP.hasAttribute = function (name) { return this._attrs[String(name).toLowerCase()] !== undefined; };
  EP.removeAttribute = function (name) { delete this._attrs[String(name).toLowerCase()]; };
  EP.appendChild = function (child) { return this.insertBefore(child, null); };
  EP.insertBefore = function (child, ref) {
    if (!child || typeof child !== "object") throw new TypeError("not a node");
    for (var up = this; up; up = up.parentNode) {
      if (up === child) throw new Error("HierarchyRequestError");
    }
    if (child.parentNode) child.parentNode.removeChild(child);
    var at = ref ? this.childNodes.indexOf(ref) : -1;
    if (at < 0) this.childNodes.push(child); else this.childNodes.splice(at, 0, child);
    child.parentNode = this;
    if (connected(this)) inserted(child);
    return child;
  };
  EP.removeChild = function (child) {
    var at = this.childNodes.indexOf(child);
    if (at < 0) throw new Error("NotFoundError");
    this.childNodes.splice(at, 1);
    child.parentNode = null;
    return child;
  };
  EP.getElementsByTagName = function (tag) { return byTag(this, tag); };
  EP.getBoundingClientRect = function () {
    return { top: 0, left: 0, right: this.width || 0, bottom: this.height || 0,
             width: this.width || 0, height: this.height || 0 };
  };
  function reflect(name, attr) {
    define(EP, name, function () { var v = this._attrs[attr]; return v === undefined ? "" : v; },
           function (v) { this.setAttribute(attr, v); });
  }
  reflect("id", "id"); reflect("className", "class"); reflect("src", "src");
  reflect("href", "href"); reflect("name", "name"); reflect("type", "type");
  reflect("alt", "alt"); reflect("target", "target");
  function dimension(attr) {
    define(EP, attr, function () { var n = parseInt(this._attrs[attr], 10); return isNaN(n) ? 0 : n; },
           function (v) { this.setAttribute(attr, v); });
  }
  dimension("width"); dimension("height");
  define(EP, "firstChild", function () { return this.childNodes[0] || null; });
  define(EP, "lastChild", function () { return this.childNodes[this.childNodes.length - 1] || null; });

  function byTag(root, tag) {
    tag = String(tag).toLowerCase();
    var found = [];
    walk(root, function (el) {
      if (el !== root && el.nodeType === 1 && (tag === "*" || el.localName === tag)) found.push(el);
    });
    return found;
  }

  // ---- document ----
  var readyState = "loading";
  var title = F.title;
  var cookies = {};
  eventTarget(doc);
  doc.nodeType = 9;
  doc.referrer = F.referrer;
  doc.head = doc.body = doc.documentElement = null;
  define(doc, "readyState", function () { return readyState; });
  define(doc, "title", function () { return title; }, function (v) { title = String(v); });
  define(doc, "cookie", function () {
    var out = [];
    for (var k in cookies) out.push(k + "=" + cookies[k]);
    return out.join("; ");
  }, function (v) {
    var pair = String(v).split(";")[0];
    var eq = pair.indexOf("=");
    if (eq > 0) cookies[pair.slice(0, eq).trim()] = pair.slice(eq + 1).trim();
  });
  doc.createElement = function (tag) { return new Element(String(tag).toLowerCase()); };
  doc.createTextNode = function (data) {
    return { nodeType: 3, data: String(data), nodeValue: String(data), textContent: String(data),
             parentNode: null, childNodes: [] };
  };
  doc.getElementById = function (id) {
    id = String(id);
    var hit = null;
    if (documentElement) walk(documentElement, function (el) {
      if (el.nodeType === 1 && el._attrs.id === id) { hit = el; return false; }
    });
    return hit;
  };
  doc.getElementsByTagName = function (tag) { return documentElement ? byTag(documentElement, tag) : []; };
  doc.getElementsByClassName = function (name) {
    name = String(name);
    var found = [];
    if (documentElement) walk(documentElement, function (el) {
      if (el.nodeType === 1 && (" " + (el._attrs["class"] || "") + " ").indexOf(" " + name + " ") >= 0) found.push(el);
    });
    return found;
  };
  define(doc, "images", function () { return doc.getElementsByTagName("img"); });
  doc.write = function () { N.write(slice.call(arguments).map(text).join("")); };
  doc.writeln = function () { N.write(slice.call(arguments).map(text).join("") + "\n"); };
  doc.open = doc.close = function () {};
  doc.defaultView = G;

  // ---- location ----
  var href = F.url;
  var parts = /^([A-Za-z][A-Za-z0-9+.\-]*:)(?:\/\/([^\/?#:]*)(?::(\d+))?)?([^?#]*)(\?[^#]*)?(#.*)?$/.exec(href) || [];
  var location = {};
  define(location, "href", function () { return href; }, function (v) { N.navigate(text(v), 0); });
  location.assign = function (u) { N.navigate(text(u), 0); };
  location.replace = function (u) { N.navigate(text(u), 0); };
  location.reload = function () { N.navigate(href, 3); };
  location.toString = function () { return href; };
  location.protocol = parts[1] || "";
  location.hostname = parts[2] || "";
  location.port = parts[3] || "";
  location.host = location.hostname + (location.port ? ":" + location.port : "");
  location.pathname = parts[4] || "";
  location.search = parts[5] || "";
  location.hash = parts[6] || "";
  location.origin = location.protocol + "//" + location.host;
  define(doc, "location", function () { return location; }, function (v) { N.navigate(text(v), 0); });
  define(doc, "URL", function () { return href; });
  doc.domain = location.hostname;

  // ---- window ----
  eventTarget(G);
  G.window = G.self = G.top = G.parent = G.frames = G;
  G.opener = null;
  G.name = "";
  G.closed = false;
  G.document = doc;
  define(G, "location", function () { return location; }, function (v) { N.navigate(text(v), 0); });
  G.navigator = { userAgent: F.userAgent, appName: "Netscape", appCodeName: "Mozilla",
                  appVersion: F.userAgent.replace(/^Mozilla\//, ""), platform: F.platform,
                  language: "en-US", onLine: true, cookieEnabled: true };
  G.screen = { width: F.screenWidth, height: F.screenHeight, availWidth: F.screenWidth,
               availHeight: F.screenHeight, colorDepth: 32, pixelDepth: 32 };
  G.devicePixelRatio = F.scale;
  G.innerWidth = G.outerWidth = F.innerWidth;
  G.innerHeight = G.outerHeight = F.innerHeight;
  G.scrollX = G.scrollY = G.pageXOffset = G.pageYOffset = 0;
  G.scrollTo = G.scrollBy = G.focus = G.blur = G.close = function () {};
  G.orientation = F.orientation;
  G.onorientationchange = null;
  G.onload = null;
  G.getComputedStyle = function (el) { return (el && el.style) || {}; };
  G.open = function (u) {
    if (u !== undefined && u !== null && String(u) !== "") N.navigate(String(u), 2);
    return null;
  };
  G.alert = function (m) { N.alert(text(m)); };
  G.confirm = function (m) { N.alert(text(m)); return false; };
  G.prompt = function (m) { N.alert(text(m)); return null; };
  function logger(level) {
    return function () { N.log(level, slice.call(arguments).map(function (a) { return String(a); }).join(" ")); };
  }
  G.console = { log: logger("log"), info: logger("info"), warn: logger("warn"),
                error: logger("error"), debug: logger("debug") };
  G.Image = function (w, h) {
    var img = doc.createElement("img");
    if (w !== undefined) img.setAttribute("width", w);
    if (h !== undefined) img.setAttribute("height", h);
    return img;
  };
  G.HTMLElement = Element;

  // ---- timers ----
  var timers = {};
  var nextTimer = 1;
  function addTimer(fn, ms, args, repeats) {
    if (typeof fn !== "function") {
      var code = String(fn);
      fn = function () { (0, eval)(code); };
    }
    ms = Number(ms);
    if (!(ms > 0) || ms > 2147483647) ms = 0;
    var id = nextTimer++;
    if (N.setTimer(id, ms, repeats)) timers[id] = { fn: fn, args: args, repeats: repeats };
    return id;
  }
  G.setTimeout = function (fn, ms) { return addTimer(fn, ms, slice.call(arguments, 2), false); };
  G.setInterval = function (fn, ms) { return addTimer(fn, ms, slice.call(arguments, 2), true); };
  G.clearTimeout = G.clearInterval = function (id) {
    id = Number(id);
    if (timers[id]) { delete timers[id]; N.clearTimer(id); }
  };

  // ---- time from the platform clock ----
  var RealDate = Date;
  var PageDate = function Date(y, mo, d, h, mi, s, ms) {
    if (!(this instanceof PageDate)) return new RealDate(N.now()).toString();
    var n = arguments.length;
    if (n === 0) return new RealDate(N.now());
    if (n === 1) return new RealDate(y);
    return new RealDate(y, mo, n > 2 ? d : 1, n > 3 ? h : 0, n > 4 ? mi : 0, n > 5 ? s : 0, n > 6 ? ms : 0);
  };
  PageDate.prototype = RealDate.prototype;
  Object.defineProperty(RealDate.prototype, "constructor", { value: PageDate, writable: true, configurable: true });
  PageDate.now = function () { return N.now(); };
  PageDate.UTC = RealDate.UTC;
  PageDate.parse = RealDate.parse;
  G.Date = PageDate;
  var start = N.monotonic();
  G.performance = { now: function () { return N.monotonic() - start; } };

  // ---- legacy accessors, where the engine lacks them ----
  var OP = Object.prototype;
  function legacy(name, fn) {
    if (typeof OP[name] !== "function") Object.defineProperty(OP, name, { value: fn, writable: true, configurable: true });
  }
  legacy("__defineGetter__", function (k, f) { Object.defineProperty(this, k, { get: f, enumerable: true, configurable: true }); });
  legacy("__defineSetter__", function (k, f) { Object.defineProperty(this, k, { set: f, enumerable: true, configurable: true }); });
  legacy("__lookupGetter__", function (k) { var d = Object.getOwnPropertyDescriptor(this, k); return d && d.get; });
  legacy("__lookupSetter__", function (k) { var d = Object.getOwnPropertyDescriptor(this, k); return d && d.set; });

  // The engine's own object reaches finalizers and error hooks: not for pages.
  delete G.Duktape;

  // ---- the loader's entry points ----
  return {
    makeElement: function (parent, tag, names, values, body) {
      var el = new Element(tag);
      for (var i = 0; i < names.length; i++) el._attrs[names[i]] = values[i];
      if (tag === "script" || tag === "style" || tag === "title" || tag === "textarea") el.text = body;
      if (tag === "script") el._started = true;  // the loader runs parsed scripts itself
      if (parent) { parent.childNodes.push(el); el.parentNode = parent; }
      return el;
    },
    setDocument: function (html) {
      documentElement = doc.documentElement = html;
      doc.head = html.childNodes[0];
      doc.body = html.childNodes[1];
    },
    appendWritten: function (el) {
      var parent = doc.body || documentElement;
      parent.childNodes.push(el);
      el.parentNode = parent;
      walk(el, function (node) {
        if (node.nodeType === 1 && node.localName === "iframe" && node._attrs.src !== undefined) N.navigate(node._attrs.src, 1);
      });
    },
    fireTimer: function (id) {
      var t = timers[id];
      if (!t) return;
      if (!t.repeats) delete timers[id];
      t.fn.apply(G, t.args);
    },
    scriptDone: function (token, ok) {
      var el = pendingScripts[token];
      delete pendingScripts[token];
      var handler = el && (ok ? el.onload : el.onerror);
      if (typeof handler === "function") handler.call(el, makeEvent(ok ? "load" : "error", el));
    },
    click: function (kind, key) {
      var target = null;
      if (kind === 0) {
        target = doc.getElementById(key);
      } else {
        var links = doc.getElementsByTagName("a");
        for (var i = 0; i < links.length && !target; i++) if (links[i]._attrs.href === key) target = links[i];
      }
      if (!target) return undefined;
      return clickThrough(target, true);
    },
    runLoad: function (bodyOnload) {
      readyState = "interactive";
      doc.dispatchEvent(makeEvent("DOMContentLoaded", doc));
      readyState = "complete";
      var event = makeEvent("load", G);
      if (bodyOnload !== "") {
        try { new Function("event", bodyOnload).call(G, event); } catch (e) { report(e); }
      }
      if (typeof G.onload === "function") {
        try { G.onload(event); } catch (e) { report(e); }
      }
      G.dispatchEvent(event);
    },
    report: report
  };
}))JS";

}  // namespace platform::web
