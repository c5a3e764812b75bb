// The C# binding tests, under Mono: script.txt played through the bindings
// must print the same lines as the C recorder playing it natively, bit for
// bit; failed loads raise KivanimeException with the library's reason and
// error code (AnimeErrorCode, checked against the header's); frames
// allocate nothing; a failing host's exceptions come back to the caller;
// every declaration agrees with the header and the public layer calls it.
// Usage: mono kivanime_csharp_tests.exe <source folder> <script> <kivanime_record_sequence>
//        <signatures.txt the build made from the header>
using System;
using System.Collections.Generic;
using System.Diagnostics;
using System.Globalization;
using System.IO;
using System.Linq;
using System.Reflection;
using System.Text;
using System.Text.RegularExpressions;
using Kivanime;

class RecordingHost : IAnimeHost, IAnimeMeshHost
{
    public readonly List<string> Lines = new List<string>();
    int next;

    // Handles count up from 0, as the C recorder's do.
    public int LoadTexture(string path) { Lines.Add("load " + path + " -> " + next); return next++; }
    public void ReleaseTexture(int texture) { Lines.Add("release " + texture); }
    public void Draw(ref AnimeDrawParams p) { Lines.Add(Record("draw", p)); }

    public void DrawMesh(ref AnimeDrawParams p, AnimeMesh mesh)
    {
        Lines.Add(Record("mesh", p));
        Lines.Add(Vertices("vertices", Enumerable.Range(0, mesh.VertexCount).Select(mesh.GetVertex)));
        Lines.Add("indices" + string.Concat(Enumerable.Range(0, mesh.IndexCount).Select(i => " " + mesh.GetIndex(i))));
    }

    static string Record(string tag, AnimeDrawParams p) => Words(tag, p.Texture, p.X, p.Y, p.Flags, p.Reserved1, p.Rotation,
        p.ScaleX, p.ScaleY, p.Alpha, p.Reserved2, p.AnchorX, p.AnchorY, p.SrcX, p.SrcY, p.SrcWidth, p.SrcHeight);

    public static string Vertices(string tag, IEnumerable<AnimeMeshVertex> vertices) =>
        Words(tag, vertices.SelectMany(v => new object[] { v.X, v.Y, v.U, v.V }).ToArray());

    // Floats as their bit patterns, integers as 32-bit words, in hexadecimal.
    public static string Words(string tag, params object[] values) => tag + string.Concat(values.Select(v => string.Format(" {0:x8}",
        v is float ? BitConverter.ToUInt32(BitConverter.GetBytes((float)v), 0) : v is uint ? (uint)v : unchecked((uint)(int)v))));
}

// Keeps nothing, so that whatever a frame allocates is the bindings' doing.
class CountingHost : IAnimeHost, IAnimeMeshHost
{
    public int Draws, Meshes, Refusals;
    public AnimeColor Tint;
    public AnimeMeshVertex Last;
    public Exception Fault;
    public bool ReadPastTheEnd;
    public int LoadTexture(string path) { if (Fault != null) throw Fault; return 0; }
    public void ReleaseTexture(int texture) { if (Fault != null) throw Fault; }
    public void Draw(ref AnimeDrawParams p) { if (Fault != null) throw Fault; if (p.Alpha >= 0) Draws++; Tint = p.Tint; }

    public void DrawMesh(ref AnimeDrawParams p, AnimeMesh mesh)
    {
        if (Fault != null) throw Fault;
        Meshes++;
        for (int i = 0; i < mesh.IndexCount; i++) Last = mesh.GetVertex(mesh.GetIndex(i));
        if (ReadPastTheEnd) TryToReadOutside(mesh);
    }

    // A method of its own: the closures over `m` would be allocated on every
    // call of DrawMesh otherwise.
    void TryToReadOutside(AnimeMesh m)
    {
        foreach (Action read in new Action[] { () => m.GetVertex(m.VertexCount), () => m.GetVertex(-1), () => m.GetIndex(m.IndexCount) })
            try { read(); } catch (ArgumentOutOfRangeException) { Refusals++; }
    }
}

static class HeroScript
{
    static int passed, failed;

    static void Check(bool ok, string what) { if (ok) passed++; else { failed++; Console.WriteLine("FAILED: " + what); } }

    // The reason a call raised, or null when it succeeded.
    static string Failure(Action call) { try { call(); return null; } catch (Exception e) { return e.Message; } }

    // The code a call raised, or None when it succeeded.
    static AnimeErrorCode CodeOf(Action call) { try { call(); return AnimeErrorCode.None; } catch (KivanimeException e) { return e.Code; } }

    // Results as the C interface prints them: true and success are 1.
    static string Bool(bool value) { return value ? "= 1" : "= 0"; }
    static readonly Type Native = typeof(Anime).Assembly.GetType("Kivanime.NativeMethods");

    // A word as a parameter of `type`: "-" is a null string, "1" true.
    static object Arg(string word, Type type) => type == typeof(string) ? (word == "-" ? null : word) :
        type == typeof(bool) ? word == "1" : Convert.ChangeType(word, type, CultureInfo.InvariantCulture);

    static List<string> Play(string script)
    {
        var host = new RecordingHost();
        var puppets = new Dictionary<uint, Puppet>();
        foreach (string line in File.ReadAllLines(script))
        {
            string[] w = line.Split(new[] { ' ' }, StringSplitOptions.RemoveEmptyEntries);
            if (w.Length == 0 || w[0].StartsWith("#")) continue;
            host.Lines.Add(line);
            Puppet p = w.Length > 1 && uint.TryParse(w[1], out uint id) && puppets.ContainsKey(id) ? puppets[id] : null;
            string result = null;
            var t = new float[6];
            switch (w[0])
            {
                case "Init": Anime.Init(host); break;
                case "CreateInstance": result = Failure(() => p = new Puppet(w[1])) == null ? "= " + (puppets[p.Id] = p).Id : "= 0"; break;
                case "DestroyInstance": p.Dispose(); break;
                case "GetInstanceCount": result = "= " + Anime.PuppetCount; break;
                case "HasInstances": result = Bool(Anime.HasPuppets); break;
                case "DestroyAllInstances": Anime.DestroyAllPuppets(); break;
                case "IsMotionFinished": result = Bool(p.IsMotionFinished); break;
                case "IsMotionPlaying": result = Bool(p.IsMotionPlaying); break;
                case "GetEventCount": result = "= " + Anime.EventCount; break;
                case "GetEvent":
                    result = Bool(Anime.GetEvent(int.Parse(w[1]), out AnimeEvent e)) + "\n" + RecordingHost.Words("=", e.Instance, (int)e.Kind,
                        (int)e.Source, e.IntValue, e.FloatValue, e.Time, e.LateMs, e.Reserved);
                    break;
                case "GetEventText":
                    Func<int, string>[] texts = { Anime.GetEventName, Anime.GetEventMotion, Anime.GetEventString };
                    result = "= " + (texts[int.Parse(w[2])](int.Parse(w[1])) ?? "(null)");
                    break;
                case "SetMeshCallback": Anime.SetMeshHost(w[1] == "-" ? null : host); break;
                case "GetPartMesh":
                    // The C recorder prints as many of its 64 vertices as the
                    // part has, those past the capacity unwritten (zero).
                    var mesh = new AnimeMeshVertex[int.Parse(w[3])];
                    int count = p.GetPartMesh(w[2], mesh);
                    result = "= " + count + "\n" + RecordingHost.Vertices("=", mesh.Concat(new AnimeMeshVertex[64]).Take(Math.Min(count, 64)));
                    break;
                case "GetLastError": result = "= " + Anime.LastError; break;
                case "GetParameterCount": result = "= " + p.ParameterCount; break;
                case "GetParameterName": result = "= " + (p.GetParameterName(int.Parse(w[2])) ?? "(null)"); break;
                case "GetParameter":
                    result = Bool(p.GetParameter(Arg(w[2], typeof(string)) as string, out float value)) + "\n" + RecordingHost.Words("=", value);
                    break;
                case "GetParameterRange":
                    result = Bool(p.GetParameterRange(Arg(w[2], typeof(string)) as string, out float min, out float max, out float def)) + "\n" +
                        RecordingHost.Words("=", min, max, def);
                    break;
                case "FeedAudio":
                    // The pattern repeated to the count, as the C recorder does, but
                    // seven samples into the array: only the range given may reach
                    // the library.
                    int fed = int.Parse(w[3]);
                    float[] pattern = w[2].Split(',').Select(number => float.Parse(number, CultureInfo.InvariantCulture)).ToArray();
                    var samples = new float[7 + Math.Max(fed, 1)];
                    for (int i = 0; i < samples.Length - 7; i++) samples[7 + i] = pattern[i % pattern.Length];
                    samples[0] = 1e30f;
                    result = Bool(Failure(() => p.FeedAudio(samples, 7, fed, int.Parse(w[4]))) == null);
                    break;
                case "GetPosition": p.GetPosition(out float x, out float y); result = RecordingHost.Words("=", x, y); break;
                case "RenderInstance": p.Render(); break;
                case "GetPartTransform":
                    result = Bool(p.GetPartTransform(w[2], t)) + "\n" + RecordingHost.Words("=", t.Cast<object>().ToArray());
                    break;
                default:
                    // The method of the call's name (not the one reading a
                    // file's bytes), the puppet's when the line names one, with
                    // the words as its parameters. It prints as the C function
                    // does: a bool as 1 or 0, and where the C function returns
                    // success, 1 unless the method raised.
                    bool onPuppet = p != null && typeof(Puppet).GetMethod(w[0]) != null;
                    string[] words = w.Skip(onPuppet ? 2 : 1).ToArray();
                    MethodInfo m = (onPuppet ? typeof(Puppet) : typeof(Anime)).GetMethods().Single(k => k.Name == w[0] &&
                        k.GetParameters().Length == words.Length && !k.GetParameters().Any(q => q.ParameterType.IsArray));
                    Func<object> call = () => m.Invoke(p, m.GetParameters().Select((q, i) => Arg(words[i], q.ParameterType)).ToArray());
                    if (m.ReturnType == typeof(bool)) result = Bool((bool)call());
                    else if (Native.GetMethod("Anime_" + w[0]).ReturnType == typeof(int)) result = Bool(Failure(() => call()) == null);
                    else call();
                    break;
            }
            if (result != null) host.Lines.AddRange(result.Split('\n'));
        }
        return host.Lines;
    }

    // An engine's frames of the hero, waving and turning in 3D, drawn all at
    // once and alone, its hand looked up by name, walking and idling by turns
    // through cross-fades and the queue, the wave fading in and out, its
    // events read, its head turned by an offset, tinted, its outfit changed
    // and its tail drawn as a mesh, on two threads: after warm-up the
    // bindings allocate nothing, so no nursery collection can happen. Then the host fails in
    // each of its functions.
    static void PlaysLikeAnEngine()
    {
        var host = new CountingHost();
        Anime.Init(host);
        Anime.SetMeshHost(host);
        Anime.SetTaskSystem(2);
        Anime.LoadModel("hero", "examples/hero/model.json");
        foreach (string motion in new[] { "idle", "walk", "wave", "jump" })
            Anime.LoadMotion("hero", "examples/hero/motions/" + motion + ".json");
        Anime.LoadExpression("hero", "examples/hero/expressions/smile.json");
        var hero = new Puppet("hero");
        // A face beside it, blinking, breathing, turned by the game and
        // speaking from a buffer fed a slice a frame.
        Anime.LoadModel("face", "tests/fixtures/face-puppet/model.json");
        Anime.LoadMotion("face", "tests/fixtures/face-puppet/motions/nod.json");
        var face = new Puppet("face");
        face.PlayMotion("nod");
        face.SetAutoBlink("EyeOpen", 400, 120);
        face.SetBreath("Breath", 1500, 0.5f);
        face.SetLipSync("MouthOpen", 4);
        var voice = new float[48000];
        for (int i = 0; i < voice.Length; i++) voice[i] = (i / 40 % 2 == 0 ? 0.4f : -0.4f) * (i / 4000 % 3 == 2 ? 0 : 1);
        float eye, mouth, closedEyes = 1, widestMouth = 0, silentMouth = 1;
        hero.PlayMotion("idle");
        hero.PlayOverlay("wave", 1, 0.7f);
        hero.SetExpression("smile");
        hero.Set3DSetup(true, 0, -360, 1500, 0, 0);
        hero.Set3DAngles(20, 0, 0);
        hero.SetTint(1, 0.5f, 0.25f);
        var hand = new float[6];
        var tail = new AnimeMeshVertex[16];
        var kinds = new int[4];   // events, laps, other ends (the jump's), ends of an overlay
        AnimeEvent e;
        int collections = 0; long bytes = 0;
        for (int frame = -600; frame < 20000; frame++)
        {
            if (frame == 0) { host.Draws = host.Meshes = 0; Array.Clear(kinds, 0, 4); collections = -GC.CollectionCount(0); bytes = -GC.GetAllocatedBytesForCurrentThread(); }
            if (frame % 300 == 0) hero.CrossFadeMotion(frame % 600 == 0 ? "walk" : "idle", 1, 250);
            if (frame % 300 == 150) hero.QueueMotion("jump", 1.5f);
            if (frame % 200 == 0) hero.FadeOverlay("wave", frame % 400 == 0 ? 0.2f : 1f, 300);
            if (frame % 1000 == 500) hero.PlayOverlay("wave");
            if (frame % 250 == 0) hero.SetSkin(frame % 500 == 0 ? "forest" : null);
            hero.SetPartTexture("hand_l", frame % 2 == 0 ? "hand" : null);
            hero.SetPartOffset("head", 0, 0, 0.2f * (float)Math.Sin(frame * 0.01));
            hero.SetPartTint("tail", 0.5f, 1, 1);
            face.SetParameter("AngleX", 30 * (float)Math.Sin(frame * 0.02));
            face.FeedAudio(voice, 800 * (frame & 31), 800, 48000);
            Anime.Update(16.6667f);
            face.GetParameter("EyeOpen", out eye);
            face.GetParameter("MouthOpen", out mouth);
            closedEyes = Math.Min(closedEyes, eye);
            widestMouth = Math.Max(widestMouth, mouth);
            if ((frame & 31) % 15 == 14) silentMouth = Math.Min(silentMouth, mouth);
            for (int i = 0; i < Anime.EventCount; i++)
                if (Anime.GetEvent(i, out e))
                    kinds[e.Kind == AnimeEventKind.Event ? 0 : e.Kind == AnimeEventKind.Lap ? 1 :
                          e.Kind == AnimeEventKind.Finished && e.Source == AnimeEventSource.Overlay ? 3 : 2]++;
            hero.GetPartMesh("tail", tail);
            if (frame % 2 == 0) Anime.Render(); else hero.Render();
            hero.GetPartTransform("hand_r", hand);
        }
        collections += GC.CollectionCount(0); bytes += GC.GetAllocatedBytesForCurrentThread();
        Console.WriteLine("20000 frames: " + collections + " nursery collections, " + bytes + " bytes allocated");
        Check(collections == 0 && bytes == 0, "no allocation after warm-up");
        Check(host.Draws > 20000 * 25 && hand[5] == 1, host.Draws + " parts drawn, hand alpha " + hand[5]);
        // The hero's tail every frame, the face's left eye every other (drawn with the rest).
        Check(host.Meshes == 30000 && host.Last.V == 1 && tail[11].V == 1, host.Meshes + " tails and eyes drawn as meshes");
        string tint = string.Join(" ", host.Tint.R, host.Tint.G, host.Tint.B, host.Tint.A);
        Check(tint == "255 128 64 255", "tint " + tint);
        // The flags read as the blend mode and the unclipped bit.
        var flagged = new AnimeDrawParams { Flags = 6 };
        Check(flagged.Blend == AnimeBlendMode.Multiply && flagged.Unclipped && !default(AnimeDrawParams).Unclipped &&
              new AnimeDrawParams { Flags = 3 }.Blend == AnimeBlendMode.Screen, "flags " + flagged.Blend);
        Check(kinds[0] > 100 && kinds[1] > 10 && kinds[2] > 10 && kinds[3] > 10, "events, laps, ends: " + string.Join(" ", kinds));
        // Frames 14 and 29 of every 32 feed a silent slice of the voice.
        Check(closedEyes < 0.5f && widestMouth == 1 && silentMouth == 0, "the face blinked (eyes down to " + closedEyes +
              "), spoke (mouth up to " + widestMouth + ") and fell silent (down to " + silentMouth + ")");
        Check(Failure(() => face.FeedAudio(voice, 47990, 11, 48000)).StartsWith("the array holds 10 from the offset") &&
              Failure(() => face.FeedAudio(voice, -1, 0, 48000)).StartsWith("the array holds 48000") &&
              Failure(() => face.FeedAudio(null, 0, 0, 48000)).Contains("samples") &&
              Failure(() => face.FeedAudio(voice, 0, 1, 0)).StartsWith("must be positive"), "samples outside the array are refused");
        Check(CodeOf(() => face.SetBreath("nothing", 1000, 1)) == AnimeErrorCode.UnknownParameter &&
              CodeOf(() => face.SetAutoBlink("EyeOpen", float.PositiveInfinity, 100)) == AnimeErrorCode.InvalidArgument,
              "an unknown parameter and a bad number raise their codes");
        face.Dispose();
        Check(Failure(() => hero.SetSkin("nothing")) == "model \"hero\" (instance 1) has no skin named \"nothing\"", "an unknown skin raises the reason");
        Check(CodeOf(() => hero.SetSkin("nothing")) == AnimeErrorCode.UnknownSkin && Anime.LastErrorCode == AnimeErrorCode.UnknownSkin, "and its code");
        host.ReadPastTheEnd = true;
        hero.Render();
        host.ReadPastTheEnd = false;
        Check(host.Refusals == 3, host.Refusals + " of 3 reads outside the mesh refused");
        Anime.SetTaskSystem(1);
        // The host's exception comes back from the call that ran it, once; a
        // puppet whose creation raised is not left behind.
        host.Fault = new InvalidOperationException("no device");
        Check(Failure(() => hero.Render()) == "the host failed: no device", "a failed draw raises");
        Check(CodeOf(() => hero.Render()) == AnimeErrorCode.None, "a failed draw is no failure of the library");
        Check(CodeOf(() => new Puppet("hero")) == AnimeErrorCode.TextureRefused, "a failed texture load is a refused texture");
        Check(Failure(() => new Puppet("hero")) == "the host failed: no device" && Anime.PuppetCount == 1,
              "a failed texture load raises; puppets: " + Anime.PuppetCount);
        Check(Failure(() => hero.GetPartTransform("hand_r", new float[5])).StartsWith("needs 6 floats"), "a short array is refused");
        host.Fault = null;
        Check(Failure(() => hero.Render()) == null, "the next frame draws");
        host.Fault = new InvalidOperationException("device lost");
        Check(Failure(() => hero.Dispose()) == "the host failed: device lost" && Anime.PuppetCount == 0, "a failed release raises");
        Anime.Shutdown();
    }

    // What a C type may become in a declaration: a record by reference (out
    // when written) or as an array, a string as UTF-8 bytes, a function or
    // samples read in place as a pointer.
    static bool Marshals(string c, Type t, bool result)
    {
        var scalars = new Dictionary<string, Type> { { "int32_t", typeof(int) }, { "uint32_t", typeof(uint) },
            { "float", typeof(float) }, { "void", typeof(void) } };
        if (scalars.ContainsKey(c)) return t == scalars[c];
        if (c == "const char *") return t == (result ? typeof(IntPtr) : typeof(byte[]));
        if (c == "const float *") return t == typeof(IntPtr);
        if (c.EndsWith("Fn") || c == "void *") return t == typeof(IntPtr);
        string element = c.Replace("const ", "").Split(' ')[0];
        Type record = element == "float" ? typeof(float) : typeof(Anime).Assembly.GetType("Kivanime." + element);
        return record != null && (t == record.MakeByRefType() || (!c.StartsWith("const") && t == record.MakeArrayType()));
    }

    // Every function of the header is declared with its parameters and
    // result, and the public layer calls it.
    static void MatchesTheHeader(string signatures)
    {
        string layer = string.Concat(Directory.GetFiles("bindings/csharp", "*.cs").Select(File.ReadAllText));
        var header = File.ReadAllLines(signatures).Where(l => l.StartsWith("Anime_")).Select(l => l.Split('|')).ToList();
        Check(header.Count > 50, signatures + " lists " + header.Count + " functions");
        foreach (string[] f in header)
        {
            MethodInfo m = Native.GetMethod(f[0]);
            string[] c = f.Skip(2).Select(t => t.EndsWith("]") ? t.Substring(0, t.IndexOf('[')) : t).ToArray();
            Type[] cs = m == null ? new Type[0] : m.GetParameters().Select(p => p.ParameterType).ToArray();
            Check(m != null && Marshals(f[1], m.ReturnType, true) && cs.Length == c.Length &&
                  c.Zip(cs, (a, b) => Marshals(a, b, false)).All(ok => ok),
                  f[0] + " is declared as " + (m == null ? "nothing" : m.ToString()) + ", the header says " + string.Join("|", f));
            Check(layer.Contains("NativeMethods." + f[0] + "("), "the bindings do not call " + f[0]);
        }
        Check(Native.GetMethods(BindingFlags.Public | BindingFlags.Static).Length == header.Count, "NativeMethods declares only the header's functions");
    }

    static int Main(string[] args)
    {
        Directory.SetCurrentDirectory(args[0]);
        Process c = Process.Start(new ProcessStartInfo(args[2], "\"" + args[1] + "\"") { UseShellExecute = false, RedirectStandardOutput = true });
        List<string> expected = c.StandardOutput.ReadToEnd().TrimEnd('\n').Split('\n').ToList();
        c.WaitForExit();
        Check(c.ExitCode == 0, "the C recorder exits with " + c.ExitCode);
        Check(expected.Count(l => l.StartsWith("draw ")) > 100, "the C recorder drew " + expected.Count + " lines");
        // The script as it is, then with its frames spread over three threads.
        foreach (int workers in new[] { 1, 3 })
        {
            Anime.SetTaskSystem(workers);
            List<string> actual = Play(args[1]);
            int same = expected.Zip(actual, (a, b) => a == b).TakeWhile(equal => equal).Count();
            Check(same == expected.Count && same == actual.Count, "on " + workers + " thread(s) C# and C agree on all " + expected.Count +
                  " lines; first difference at line " + (same + 1) + ":\n  C:  " + expected.ElementAtOrDefault(same) + "\n  C#: " + actual.ElementAtOrDefault(same));
        }
        Anime.SetTaskSystem(1);
        Check(Failure(() => Anime.SetTaskSystem(65)) != null && Failure(() => Anime.SetTaskSystem(0)) != null,
              "worker counts outside 1 to 64 are refused");
        Anime.Init(new RecordingHost());
        Check(Failure(() => Anime.LoadModel("bad", Encoding.UTF8.GetBytes("[1]"), null)) ==
              "cannot load model \"bad\": memory:1:1: expected a JSON object, found an array \"[1]\"", "a failed load raises the reason");
        Check(Failure(() => new Puppet("gone")) == "no model named \"gone\" is loaded", "an unknown model raises the reason");
        var codes = new[] { CodeOf(() => Anime.LoadModel("bad", Encoding.UTF8.GetBytes("[1]"), null)), CodeOf(() => new Puppet("gone")),
                            CodeOf(() => Anime.LoadMotion("gone", "examples/hero/motions/idle.json")), CodeOf(() => Anime.LoadModel("bad", "no/such/model.json")) };
        Check(codes.SequenceEqual(new[] { AnimeErrorCode.InvalidJson, AnimeErrorCode.UnknownModel, AnimeErrorCode.UnknownModel, AnimeErrorCode.FileNotFound }),
              "failures raise their codes: " + string.Join(", ", codes));
        // AnimeErrorCode mirrors the header's names and numbers.
        var header = Regex.Matches(File.ReadAllText("include/kivanime.h"), @"^\s*ANIME_ERROR_(\w+) = (\d+)", RegexOptions.Multiline)
            .Cast<Match>().Select(m => string.Concat(m.Groups[1].Value.Split('_').Select(w => w[0] + w.Substring(1).ToLowerInvariant())) + " = " + m.Groups[2].Value);
        var mirrored = Enum.GetValues(typeof(AnimeErrorCode)).Cast<AnimeErrorCode>().Select(v => v + " = " + (int)v);
        Check(header.Count() > 10 && header.SequenceEqual(mirrored), "AnimeErrorCode mirrors kivanime.h: " + string.Join(", ", mirrored));
        Check(Anime.Version == Anime.BindingsVersion, "library version " + Anime.Version);
        MatchesTheHeader(args[3]);
        Anime.Shutdown();
        PlaysLikeAnEngine();
        Console.WriteLine(passed + " passed, " + failed + " failed");
        return failed == 0 ? 0 : 1;
    }
}
