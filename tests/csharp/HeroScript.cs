// The C# binding tests, under Mono: script.txt played through the bindings
// must print the same lines as the C recorder playing it natively, bit for
// bit; failed loads raise KivanimeException with the library's reason; frames
// allocate nothing; a failing host's exceptions come back to the caller.
// Usage: mono kivanime_csharp_tests.exe <source folder> <script> <kivanime_record_sequence>
using System;
using System.Collections.Generic;
using System.Diagnostics;
using System.Globalization;
using System.IO;
using System.Linq;
using System.Text;
using Kivanime;

class RecordingHost : IAnimeHost
{
    public readonly List<string> Lines = new List<string>();
    int next;

    // Handles count up from 0, as the C recorder's do.
    public int LoadTexture(string path) { Lines.Add("load " + path + " -> " + next); return next++; }
    public void ReleaseTexture(int texture) { Lines.Add("release " + texture); }
    public void Draw(ref AnimeDrawParams p)
    {
        Lines.Add(Words("draw", p.Texture, p.X, p.Y, p.Reserved0, p.Reserved1, p.Rotation, p.ScaleX, p.ScaleY,
                        p.Alpha, p.Reserved2, p.AnchorX, p.AnchorY, p.SrcX, p.SrcY, p.SrcWidth, p.SrcHeight));
    }

    // Floats as their bit patterns, integers as 32-bit words, in hexadecimal.
    public static string Words(string tag, params object[] values) => tag + string.Concat(values.Select(v => string.Format(" {0:x8}",
        v is float ? BitConverter.ToUInt32(BitConverter.GetBytes((float)v), 0) : v is uint ? (uint)v : unchecked((uint)(int)v))));
}

// Keeps nothing, so that whatever a frame allocates is the bindings' doing.
class CountingHost : IAnimeHost
{
    public int Draws;
    public Exception Fault;
    public int LoadTexture(string path) { if (Fault != null) throw Fault; return 0; }
    public void ReleaseTexture(int texture) { if (Fault != null) throw Fault; }
    public void Draw(ref AnimeDrawParams p) { if (Fault != null) throw Fault; if (p.Alpha >= 0) Draws++; }
}

static class HeroScript
{
    static int passed, failed;

    static void Check(bool ok, string what) { if (ok) passed++; else { failed++; Console.WriteLine("FAILED: " + what); } }

    // The reason a call raised, or null when it succeeded.
    static string Failure(Action call) { try { call(); return null; } catch (Exception e) { return e.Message; } }

    // Results as the C interface prints them: a failed load or creation is 0.
    static string Result(Action call) { return Failure(call) == null ? "= 1" : "= 0"; }
    static string Bool(bool value) { return value ? "= 1" : "= 0"; }

    static List<string> Play(string script)
    {
        var host = new RecordingHost();
        var puppets = new Dictionary<uint, Puppet>();
        foreach (string line in File.ReadAllLines(script))
        {
            string[] w = line.Split(new[] { ' ' }, StringSplitOptions.RemoveEmptyEntries);
            if (w.Length == 0 || w[0].StartsWith("#")) continue;
            host.Lines.Add(line);
            Func<int, float> f = i => float.Parse(w[i], CultureInfo.InvariantCulture);
            uint id;
            Puppet p = w.Length > 1 && uint.TryParse(w[1], out id) && puppets.ContainsKey(id) ? puppets[id] : null;
            string result = null;
            var t = new float[6];
            switch (w[0])
            {
                case "Init": Anime.Init(host); break;
                case "Shutdown": Anime.Shutdown(); break;
                case "LoadModel": result = Result(() => Anime.LoadModel(w[1], w[2])); break;
                case "UnloadModel": Anime.UnloadModel(w[1]); break;
                case "LoadMotion": result = Result(() => Anime.LoadMotion(w[1], w[2])); break;
                case "LoadExpression": result = Result(() => Anime.LoadExpression(w[1], w[2])); break;
                case "CreateInstance": result = Failure(() => p = new Puppet(w[1])) == null ? "= " + (puppets[p.Id] = p).Id : "= 0"; break;
                case "DestroyInstance": p.Dispose(); break;
                case "GetInstanceCount": result = "= " + Anime.PuppetCount; break;
                case "PlayMotion": result = Bool(p.PlayMotion(w[2], f(3))); break;
                case "IsMotionFinished": result = Bool(p.IsMotionFinished); break;
                case "IsMotionPlaying": result = Bool(p.IsMotionPlaying); break;
                case "PlayOverlay": result = Bool(p.PlayOverlay(w[2], f(3), f(4))); break;
                case "StopOverlay": p.StopOverlay(w[2]); break;
                case "SetExpression": result = Bool(p.SetExpression(w[2])); break;
                case "ClearExpression": p.ClearExpression(); break;
                case "SetPosition": p.SetPosition(f(2), f(3)); break;
                case "GetPosition": p.GetPosition(out float x, out float y); result = RecordingHost.Words("=", x, y); break;
                case "SetScale": p.SetScale(f(2), f(3)); break;
                case "SetAlpha": p.SetAlpha(f(2)); break;
                case "SetVisible": p.SetVisible(w[2] == "1"); break;
                case "SetDrawOrder": p.SetDrawOrder(int.Parse(w[2])); break;
                case "SetWind": p.SetWind(f(2), f(3)); break;
                case "SetGlobalWind": Anime.SetGlobalWind(f(1), f(2)); break;
                case "Set3DSetup": p.Set3DSetup(w[2] == "1", f(3), f(4), f(5), f(6), f(7)); break;
                case "Set3DAngles": p.Set3DAngles(f(2), f(3), f(4)); break;
                case "Set3DStrength": p.Set3DStrength(f(2), f(3)); break;
                case "Update": Anime.Update(f(1)); break;
                case "Render": Anime.Render(); break;
                case "RenderInstance": p.Render(); break;
                case "GetPartTransform":
                    result = Bool(p.GetPartTransform(w[2], t)) + "\n" + RecordingHost.Words("=", t.Cast<object>().ToArray());
                    break;
                default: throw new ArgumentException("unknown call " + w[0]);
            }
            if (result != null) host.Lines.AddRange(result.Split('\n'));
        }
        return host.Lines;
    }

    // An engine's frames of the hero, waving and turning in 3D, drawn all at
    // once and alone, its hand looked up by name: after warm-up the bindings
    // allocate nothing, so no nursery collection can happen. Then the host
    // fails in each of its functions.
    static void PlaysLikeAnEngine()
    {
        var host = new CountingHost();
        Anime.Init(host);
        Anime.LoadModel("hero", "examples/hero/model.json");
        Anime.LoadMotion("hero", "examples/hero/motions/idle.json");
        Anime.LoadMotion("hero", "examples/hero/motions/wave.json");
        Anime.LoadExpression("hero", "examples/hero/expressions/smile.json");
        var hero = new Puppet("hero");
        hero.PlayMotion("idle");
        hero.PlayOverlay("wave", 1, 0.7f);
        hero.SetExpression("smile");
        hero.Set3DSetup(true, 0, -360, 1500, 0, 0);
        hero.Set3DAngles(20, 0, 0);
        var hand = new float[6];
        int collections = 0;
        long bytes = 0;
        for (int frame = -100; frame < 20000; frame++)
        {
            if (frame == 0) { host.Draws = 0; collections = -GC.CollectionCount(0); bytes = -GC.GetAllocatedBytesForCurrentThread(); }
            Anime.Update(16.6667f);
            if (frame % 2 == 0) Anime.Render(); else hero.Render();
            hero.GetPartTransform("hand_r", hand);
        }
        collections += GC.CollectionCount(0);
        bytes += GC.GetAllocatedBytesForCurrentThread();
        Console.WriteLine("20000 frames: " + collections + " nursery collections, " + bytes + " bytes allocated");
        Check(collections == 0 && bytes == 0, "no allocation after warm-up");
        Check(host.Draws > 20000 * 25 && hand[5] == 1, host.Draws + " parts drawn, hand alpha " + hand[5]);
        // The host's exception comes back from the call that ran it, once; a
        // puppet whose creation raised is not left behind.
        host.Fault = new InvalidOperationException("no device");
        Check(Failure(() => hero.Render()) == "the host failed: no device", "a failed draw raises");
        Check(Failure(() => new Puppet("hero")) == "the host failed: no device" && Anime.PuppetCount == 1,
              "a failed texture load raises; puppets: " + Anime.PuppetCount);
        Check(Failure(() => hero.GetPartTransform("hand_r", new float[5])).StartsWith("needs 6 floats"), "a short array is refused");
        host.Fault = null;
        Check(Failure(() => hero.Render()) == null, "the next frame draws");
        host.Fault = new InvalidOperationException("device lost");
        Check(Failure(() => hero.Dispose()) == "the host failed: device lost" && Anime.PuppetCount == 0, "a failed release raises");
        Anime.Shutdown();
    }

    static int Main(string[] args)
    {
        Directory.SetCurrentDirectory(args[0]);
        var start = new ProcessStartInfo(args[2], "\"" + args[1] + "\"") { UseShellExecute = false, RedirectStandardOutput = true };
        Process c = Process.Start(start);
        List<string> expected = c.StandardOutput.ReadToEnd().TrimEnd('\n').Split('\n').ToList();
        c.WaitForExit();
        Check(c.ExitCode == 0, "the C recorder exits with " + c.ExitCode);
        List<string> actual = Play(args[1]);
        Check(expected.Count(l => l.StartsWith("draw ")) > 100, "the C recorder drew " + expected.Count + " lines");
        int same = 0;
        while (same < expected.Count && same < actual.Count && expected[same] == actual[same]) same++;
        Check(same == expected.Count && same == actual.Count, "C# and C agree on all " + expected.Count +
              " lines; first difference at line " + (same + 1) + ":\n  C:  " +
              expected.ElementAtOrDefault(same) + "\n  C#: " + actual.ElementAtOrDefault(same));
        Anime.Init(new RecordingHost());
        Check(Failure(() => Anime.LoadModel("bad", Encoding.UTF8.GetBytes("[1]"), null)) ==
              "cannot load model \"bad\": memory:1:1: expected a JSON object, found an array \"[1]\"", "a failed load raises the reason");
        Check(Failure(() => new Puppet("gone")) == "no model named \"gone\" is loaded", "an unknown model raises the reason");
        Check(Anime.Version == Anime.BindingsVersion, "library version " + Anime.Version);
        Anime.Shutdown();
        PlaysLikeAnEngine();
        Console.WriteLine(passed + " passed, " + failed + " failed");
        return failed == 0 ? 0 : 1;
    }
}
